#!/usr/bin/env bash
# The FFmpeg proof of a lossy stream: wmvcore_serve runs the plug-in's own live encoder through
# the runtime stand-in, under Wine, with the default settings, whose audio is the catalogue's
# default: WMA v2 ("Windows Media Audio 9.2", format 0). The input is a track of tones (a new
# frequency and level every two seconds, at every even "Song k" title), switched from 44.1 to
# 48 kHz input after six seconds; the stream stays 44.1 kHz. FFmpeg decodes it with its own WMA
# decoder, live by mmsh and from the archive file, and this checks what it heard:
#   - the stream is wmav2 at the format's bit rate, with the nine content attributes;
#   - the ASF header's bit rates (File Properties' maximum, Stream Bitrate Properties, the
#     stream's WAVEFORMATEX) are the format's, and the audio payload on the wire takes that rate;
#   - every block is the format's size and their times run on without gap across the change;
#   - each track's tone is found at its frequency, its level within 1 dB of what was fed, and
#     the tones change at the stream times the titles carry;
#   - the script stream's titles arrive as for PCM.
set -u
serve="$1"
seconds=12
change_at=6
source "$(dirname "${BASH_SOURCE[0]}")/proof-lib.sh"

echo "\$ wine wmvcore_serve.exe --tones $port $seconds $change_at 48000 archive.asf"
start_serve --tones "$port" "$seconds" "$change_at" 48000 "$winfile"

echo "\$ ffprobe -v error -show_streams -show_format mmsh://127.0.0.1:$port/"
probe=$(timeout 30 ffprobe -v error -show_streams -show_format "mmsh://127.0.0.1:$port/" 2>&1)
printf '%s\n' "$probe" | grep -E '^(codec_name|codec_tag|sample_rate|channels|bit_rate|block_align|TAG:)'
check "wmav2" 'printf "%s\n" "$probe" | grep -q "^codec_name=wmav2"'
check "44100 Hz stereo" 'printf "%s\n" "$probe" | grep -q "^sample_rate=44100" && printf "%s\n" "$probe" | grep -q "^channels=2"'
for tag in "title=Proof Title" "artist=Proof Author" "copyright=Proof Copyright" \
           "comment=Proof Description" "genre=Proof Genre" "album=Proof Album" \
           "composer=Proof Composer" "encoded_by=Proof EncodedBy" "publisher=Proof Publisher"; do
  check "tag $tag" 'printf "%s\n" "$probe" | grep -qx "TAG:$tag"'
done
live_rate=$(printf '%s\n' "$probe" | awk -F= '/^\[STREAM\]/{a=0} /^codec_type=audio/{a=1} a&&/^bit_rate=/{print $2; exit}')

echo "\$ ffmpeg -v error -i mmsh://127.0.0.1:$port/ -map 0:a -t 3 -f s16le live.raw"
timeout 30 ffmpeg -nostdin -v error -i "mmsh://127.0.0.1:$port/" -map 0:a -t 3 -f s16le "$work/live.raw"
echo "ffmpeg exited with $?, $(stat -c %s "$work/live.raw" 2>/dev/null) bytes"

wait "$pid"; status=$?; pid=
echo "wmvcore_serve exited with $status"
check "the encoder ran to the end" '[ $status -eq 0 ] && grep -q "^DONE" "$log"'
tr -d '\r' <"$log" | grep -E '^(TONES|SCRIPT|CHANGE|STATS)' >"$work/lines.txt"
grep -E '^(TONES|CHANGE)' "$work/lines.txt"
tail -n 1 "$work/lines.txt"

echo "\$ ffprobe -v error -select_streams a -show_entries packet=pts_time,duration_time,size -of csv archive.asf"
ffprobe -v error -select_streams a -show_entries packet=pts_time,duration_time,size -of csv \
  "$work/archive.asf" >"$work/apackets.csv" 2>&1
echo "\$ ffprobe -v error -select_streams d -show_packets -show_data archive.asf"
ffprobe -v error -select_streams d -show_packets -show_data "$work/archive.asf" >"$work/script.txt" 2>&1
echo "\$ ffprobe -v error -select_streams a -show_entries frame=pts_time -of csv archive.asf"
ffprobe -v error -select_streams a -show_entries frame=pts_time -of csv "$work/archive.asf" >"$work/aframes.csv" 2>&1
echo "\$ ffmpeg -v error -i archive.asf -map 0:a -f s16le whole.raw"
ffmpeg -nostdin -v error -i "$work/archive.asf" -map 0:a -f s16le "$work/whole.raw"

python3 - "$work" "$seconds" "${live_rate:-0}" <<'PY'
import math, re, struct, sys, uuid
work, seconds, live_rate = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
failed = False
def check(what, ok, detail=''):
    global failed
    print(('ok: ' if ok else 'FAIL: ') + what + (' (' + detail + ')' if detail else ''))
    failed |= not ok

lines = [l.split() for l in open(work + '/lines.txt')]
tones = [tuple(map(float, t.split(':'))) for l in lines if l[0] == 'TONES' for t in l[1:]]
titles = [(int(l[1]), int(l[2])) for l in lines if l[0] == 'SCRIPT']
stats = [l for l in lines if l[0] == 'STATS'][-1]

# The archive's header: the audio stream's WAVEFORMATEX and the bit rates around it.
data = open(work + '/archive.asf', 'rb').read()
def guid(text): return uuid.UUID(text).bytes_le
FILE, STREAM, BITRATES = (guid('8CABDCA1-A947-11CF-8EE4-00C00C205365'), guid('B7DC0791-A9B7-11CF-8EE6-00C00C205365'),
                          guid('7BF875CE-468D-11D1-8D82-006097C9A2B2'))
AUDIO = guid('F8699E40-5B4D-11CF-A8FD-00805F5C442B')
header_end = struct.unpack_from('<Q', data, 16)[0]
at, max_bitrate, stream_rates, wave = 30, None, {}, None
while at + 24 <= header_end:
    oid, size = data[at:at+16], struct.unpack_from('<Q', data, at + 16)[0]
    if oid == FILE:
        max_bitrate = struct.unpack_from('<I', data, at + 100)[0]
    elif oid == STREAM and data[at+24:at+40] == AUDIO:
        audio_number = struct.unpack_from('<H', data, at + 72)[0] & 0x7F
        wave = struct.unpack_from('<HHIIHHH', data, at + 78)
    elif oid == BITRATES:
        for i in range(struct.unpack_from('<H', data, at + 24)[0]):
            number, rate = struct.unpack_from('<HI', data, at + 26 + 6 * i)
            stream_rates[number & 0x7F] = rate
    at += size
tag, channels, rate, avg_bytes, block_align, _, extra = wave
format_rate = avg_bytes * 8
check('WAVEFORMATEX: tag 0x0161, 44100 Hz, stereo, the encoder\'s 10 extra bytes', (tag, rate, channels, extra) == (0x161, 44100, 2, 10),
      'tag 0x%04x, %d Hz, %d channels, block %d, %d bytes/s, %d extra' % (tag, rate, channels, block_align, avg_bytes, extra))
check('Stream Bitrate Properties: the audio stream at the format\'s bit rate', stream_rates.get(audio_number) == format_rate,
      '%s, format %d' % (stream_rates, format_rate))
check('File Properties: maximum bit rate the streams\' sum', max_bitrate == sum(stream_rates.values()),
      '%s bit/s' % max_bitrate)
check('ffprobe of the live stream: the format\'s bit rate', live_rate == format_rate, '%d bit/s' % live_rate)

# Audio blocks: each the format's size, a block of 2048 frames apart, no gap across the change.
rows = [l.split(',') for l in open(work + '/apackets.csv').read().split() if l.startswith('packet')]
pts = [float(r[1]) for r in rows]
size = [int(r[3]) for r in rows]
step = 2048 / 44100
worst = max((abs(pts[i+1] - pts[i] - step) for i in range(len(pts) - 1)), default=1)
check('every block is the format\'s block alignment', len(size) > 100 and set(size) == {block_align},
      '%d blocks, sizes %s' % (len(size), sorted(set(size))))
check('block times run on 2048 frames apart across the change', worst <= 0.0011, 'worst step off by %.1f ms' % (worst * 1000))
span = pts[-1] + step - pts[0]
payload = sum(size) * 8 / span
check('the audio payload takes the format\'s bit rate', abs(payload - format_rate) <= format_rate * 0.002,
      '%.0f bit/s over %.2f s' % (payload, span))
check('statistics: bytes and current bit rate of the compressed stream',
      abs(int(stats[1]) - seconds * format_rate / 8) <= format_rate / 8 * 0.2 and abs(int(stats[2]) - format_rate) <= format_rate * 0.05,
      '%s bytes, current %s bit/s' % (stats[1], stats[2]))

def frames(path):
    raw = open(path, 'rb').read()
    n = len(raw) // 4
    v = struct.unpack('<%dh' % (n * 2), raw[:n * 4])
    return [(v[2*i] + v[2*i+1]) / 2 for i in range(n)]
def power(x, hz):
    # Goertzel: the signal's amplitude at hz.
    w = 2 * math.pi * hz / 44100
    c, s1, s2 = 2 * math.cos(w), 0.0, 0.0
    for v in x:
        s1, s2 = v + c * s1 - s2, s1
    return math.sqrt(max(s1 * s1 + s2 * s2 - c * s1 * s2, 0)) * 2 / len(x)
def strongest(x):
    grid = [f for f in range(100, 5001, 20)]
    return max(grid, key=lambda f: power(x, f))

# The decoded archive: sample i plays at the time of the decoder's first frame plus i / 44100,
# and its frames follow one another without a gap.
whole = frames(work + '/whole.raw')
lines = [l.split(',')[1] for l in open(work + '/aframes.csv').read().split() if l.startswith('frame')]
decoded = [float(t) for t in lines if t != 'N/A']
first = decoded[0] if decoded else 0
worst = max((abs(decoded[i+1] - decoded[i] - step) for i in range(len(decoded) - 1)), default=1)
check('decoded frames follow one another', len(lines) * 2048 == len(whole) and worst <= 0.0011,
      '%d frames (%d timed) from %.3f s, %d samples, worst step off by %.1f ms' % (len(lines), len(decoded), first, len(whole), worst * 1000))
at = lambda t: int(round((t - first) * 44100))
starts = [t / 1e7 for k, t in titles if k % 2 == 0]
for k, start in enumerate(starts):
    end = starts[k+1] if k + 1 < len(starts) else seconds
    hz, amplitude = tones[k % len(tones)]
    piece = whole[at(start + 0.15):at(end - 0.15)]
    found = strongest(piece[:8820])
    level = math.sqrt(sum(v * v for v in piece) / len(piece)) * math.sqrt(2) if piece else 0
    db = 20 * math.log10(level / amplitude) if level else -99
    check('track %d from %.3f s: %g Hz at %.0f' % (k, start, hz, amplitude), abs(found - hz) <= 20 and abs(db) <= 1,
          'strongest %d Hz, level %.0f, %+.2f dB' % (found, level, db))
    if k == 0:
        continue
    # Where the new tone overtakes the old one, in 2 ms steps over 10 ms windows.
    old = tones[(k - 1) % len(tones)][0]
    change = None
    for m in range(-60, 61):
        t = start + m * 0.002
        window = whole[at(t - 0.005):at(t + 0.005)]
        if power(window, hz) > power(window, old):
            change = t
            break
    check('track %d starts at its title\'s stream time' % k, change is not None and abs(change - start) <= 0.015,
          'tone changes at %s s, title at %.3f s' % ('%.3f' % change if change is not None else 'none', start))

# The live pull: FFmpeg's WMA decoder hears one of the tracks' tones.
live = frames(work + '/live.raw')
found = strongest(live[22050:22050 + 8820]) if len(live) > 44100 else 0
check('live pull decodes to a track\'s tone', any(abs(found - hz) <= 20 for hz, _ in tones),
      '%d frames, strongest %d Hz' % (len(live), found))

# Script packets: "TEXT" and "Song k" as two UTF-16 strings, at the time the plug-in gave.
text = open(work + '/script.txt').read()
packets = []
for body in re.findall(r'\[PACKET\](.*?)\[/PACKET\]', text, re.S):
    t = float(re.search(r'^pts_time=(\S+)', body, re.M).group(1))
    hexes = ''.join(l[10:50].replace(' ', '') for l in re.findall(r'^[0-9a-f]{8}: .*$', body, re.M))
    packets.append((t, bytes.fromhex(hexes)))
ok = len(packets) == len(titles) == seconds and all(
    data == 'TEXT\0Song {}\0'.format(k).encode('utf-16-le') and abs(t * 1000 - time / 10**4) <= 1
    for (k, time), (t, data) in zip(titles, packets))
check('one script packet per title, as written and at its time', ok, '%d packets, %d written' % (len(packets), len(titles)))
sys.exit(1 if failed else 0)
PY
[ $? -eq 0 ] || fail=1

[ $fail -eq 0 ] && echo "ffmpeg WMA proof passed"
exit $fail
