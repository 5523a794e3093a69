#!/usr/bin/env python3
"""The player's PCM in other layouts than 16-bit stereo, broadcast end to end: the player stand-in
plays one WAV file with the plug-in and the runtime stand-in under Wine, the main window's start
command starts the broadcast, and FFmpeg pulls and decodes the stream. Where the writer's input
takes the player's PCM as it is (a high-resolution Lossless format), the listener gets it bit for
bit; where the plug-in converts it (to 16 bits, or folded to stereo) the listener gets exactly the
conversion; a WMA stream fed 8-bit mono carries the tone.

Usage: pcm_formats_e2e.py BIN_DIR   (the build's bin folder; Wine environment from the caller)
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from e2e_support import check, checks_failed, free_port, wait_until_listening, wait_or_kill

BIN = sys.argv[1]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, 'scripts', 'wine-run.sh')
SECONDS = 3

def noise(frames, channels, bits, seed):
    """Signed samples over the whole range, full scale included, that never repeat a run: any
    stretch of the stream has one place in the file."""
    state, out = seed, []
    for _ in range(frames * channels):
        state = (state * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
        out.append((state >> (64 - bits)) - (1 << (bits - 1)))
    return out


def tone(frames, rate, bits):
    amplitude = (1 << (bits - 1)) // 2
    return [int(amplitude * math.sin(2 * math.pi * 440 * i / rate)) for i in range(frames)]


def pack(values, bits):
    if bits == 8:
        return bytes(v + 128 for v in values)
    width = bits // 8
    return b''.join((v & ((1 << bits) - 1)).to_bytes(width, 'little') for v in values)


def write_wav(path, rate, channels, bits, pcm):
    align = channels * bits // 8
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 36 + len(pcm)) + b'WAVEfmt ')
        f.write(struct.pack('<IHHIIHH', 16, 1, channels, rate, rate * align, align, bits))
        f.write(b'data' + struct.pack('<I', len(pcm)) + pcm)


def fold(values, channels):
    """5.1 to stereo as the plug-in folds it: fronts 1, centre and surrounds 1/sqrt(2), the LFE out,
    over the larger side's sum, in 1/65536 steps; 32-bit samples narrowed to 24 then 16 bits."""
    weights = {'L': (65536, 0), 'R': (0, 65536), 'C': (46341, 46341), 'LFE': (0, 0), 'Ls': (46341, 0), 'Rs': (0, 46341)}
    order = ['L', 'R', 'C', 'LFE', 'Ls', 'Rs']
    norm = max(sum(weights[s][0] for s in order), sum(weights[s][1] for s in order))
    gains = [(weights[s][0] * 65536 // norm, weights[s][1] * 65536 // norm) for s in order]
    out = []
    for i in range(0, len(values), channels):
        frame = [v >> 8 for v in values[i:i + channels]]
        left = sum(v * g[0] for v, g in zip(frame, gains)) >> 16
        right = sum(v * g[1] for v, g in zip(frame, gains)) >> 16
        out += [left >> 8, right >> 8]
    return out


def broadcast(work, rate, channels, bits, pcm, codec, fmt, listen):
    """Plays the file broadcasting with the codec's format; what FFmpeg decoded, and the player's log."""
    plugins = os.path.join(work, 'Plugins')
    os.makedirs(plugins)
    shutil.copy(os.path.join(BIN, 'dsp_ombrel.dll'), plugins)
    shutil.copy(os.path.join(BIN, 'ombrel_player.exe'), work)
    shutil.copy(os.path.join(BIN, 'wmvcore.dll'), work)
    write_wav(os.path.join(work, 'track.wav'), rate, channels, bits, pcm)
    port = free_port()
    with open(os.path.join(plugins, 'dsp_ombrel.ini'), 'w', newline='\r\n') as f:
        f.write('[Extra]\n_dwPort=%d\n_dwMaxClient=5\n[AudioCodec]\n_dwCodecIndex=%d\n_dwFormatIndex=%d\n'
                '[Script]\n_fEnable=false\n' % (port, codec, fmt))
    log_file = open(os.path.join(work, 'player.log'), 'wb')
    player = subprocess.Popen(
        ['bash', WINE_RUN, './ombrel_player.exe', '--plugin', 'Z:' + os.path.join(plugins, 'dsp_ombrel.dll').replace('/', '\\'),
         '--command', '40002@0.3', '--verify', '--exit-at-end', 'Z:' + os.path.join(work, 'track.wav').replace('/', '\\')],
        cwd=work, stdout=log_file, stderr=subprocess.STDOUT)
    wait_until_listening(player, port, 30, 0.03)
    raw = os.path.join(work, 'audio.raw')
    pull = subprocess.Popen(['ffmpeg', '-nostdin', '-v', 'error', '-i', 'mmsh://127.0.0.1:%d/' % port,
                             '-map', '0:a'] + listen + [raw], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    status = wait_or_kill(player, 60)
    log_file.close()
    try:
        _, err = pull.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        pull.kill()
        _, err = pull.communicate()
    log = open(os.path.join(work, 'player.log'), 'rb').read().decode('cp932', 'replace')
    ok = status == 0 and 'modified blocks 0' in log
    if not ok:
        print('--- player ---\n' + log.strip() + '\n--- end of player ---')
    check('the player exits cleanly with every block untouched', ok, 'exit %s' % status)
    heard = open(raw, 'rb').read() if os.path.exists(raw) else b''
    if not heard and err:
        print('ffmpeg: ' + err.decode(errors='replace').strip())
    return heard


def exact(name, heard, sent, frame_bytes, rate):
    """heard is one stretch of sent, whole frames, at least a second of it."""
    at = sent.find(heard[:4096]) if len(heard) >= 4096 else -1
    whole = at >= 0 and at % frame_bytes == 0 and sent[at:at + len(heard)] == heard
    check(name, whole and len(heard) >= rate * frame_bytes,
          '%d bytes heard, found at %d of %d sent' % (len(heard), at, len(sent)))


def main():
    cases = []
    # 24-bit stereo into a 24-bit Lossless stream: taken as it is.
    values = noise(44100 * SECONDS, 2, 24, 1)
    cases.append(('24-bit stereo, Lossless 24-bit: bit for bit', 44100, 2, 24, pack(values, 24), 2, 2,
                  ['-c:a', 'pcm_s24le', '-f', 's24le'], lambda heard, sent: exact(
                      '24-bit stereo, Lossless 24-bit: the listener hears the file bit for bit', heard, sent, 6, 44100)))
    # 32-bit 6 channels into a 16-bit 6-channel Professional stream: narrowed, channels kept.
    values6 = noise(48000 * SECONDS, 6, 32, 2)
    narrowed = pack([v >> 16 for v in values6], 16)
    cases.append(('32-bit 6 channels, Professional 6 x 16-bit', 48000, 6, 32, pack(values6, 32), 3, 2,
                  ['-c:a', 'pcm_s16le', '-f', 's16le'], lambda heard, sent: exact(
                      '32-bit 6 channels, Professional 16-bit 6 channels: exactly the top 16 bits', heard, narrowed,
                      12, 48000)))
    # 32-bit 6 channels into a 16-bit stereo Lossless stream: folded.
    values51 = noise(44100 * SECONDS, 6, 32, 3)
    folded = pack(fold(values51, 6), 16)
    cases.append(('32-bit 5.1, Lossless 16-bit stereo', 44100, 6, 32, pack(values51, 32), 2, 0,
                  ['-c:a', 'pcm_s16le', '-f', 's16le'], lambda heard, sent: exact(
                      '32-bit 5.1, Lossless 16-bit stereo: exactly the plug-in\'s fold', heard, folded, 4, 44100)))
    # 8-bit mono into the default WMA stream: taken as it is, resampled and encoded by the writer.

    def toned(heard, sent):
        samples = struct.unpack('<%dh' % (len(heard) // 2), heard[:len(heard) // 2 * 2])
        rms = math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0
        check('8-bit mono, WMA 192 kbps: the tone reaches the listener', len(samples) > 44100 and rms > 4000,
              '%d samples, RMS %.0f' % (len(samples), rms))
    cases.append(('8-bit mono, WMA', 22050, 1, 8, pack(tone(22050 * SECONDS, 22050, 8), 8), 1, 0,
                  ['-ac', '1', '-ar', '44100', '-f', 's16le'], toned))

    for name, rate, channels, bits, pcm, codec, fmt, listen, verify in cases:
        print('=== %s ===' % name)
        work = tempfile.mkdtemp(prefix='ombrel-pcm-')
        try:
            heard = broadcast(work, rate, channels, bits, pcm, codec, fmt, listen)
            verify(heard, pcm)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    print('all passed' if not checks_failed() else 'some failed')
    return 1 if checks_failed() else 0


if __name__ == '__main__':
    sys.exit(main())
