#!/usr/bin/env python3
"""A whole broadcast, as a user runs it: the player stand-in plays the built-in tagged playlist
with the plug-in and the runtime stand-in under Wine, the main window's 配信開始 command starts the
broadcast, FFmpeg listens, a stand-in PeerCast node records its requests, and the play log is
read back. Runs under code page 932 (LANG=ja_JP.UTF-8), as a Japanese broadcaster's machine does,
with an old-style node that takes setmeta; with --mixed-locale, as a Japanese system whose user
chose an English format locale (system code page 932, the threads' 1252), with a node like
peercast-yt that refuses setmeta and takes the track through JSON-RPC. Each runs twice: with the
player as version 5.666, which hands over titles and paths in UTF-16 as well, and as 2.95, which
knows only the code page's text, so the playlist's titles and file names outside code page 932
reach the listener and a JSON-RPC node whole from the first and not at all from the second.
With --relay, the relay channel option is on: with player 5.666 a node like peercast-yt makes the
channel by fetch, pulls the stream from the plug-in as a listener does, and ends the channel by
stopChannel; with player 2.95 an old-style node answers as a PeerCast IM build does, byte for byte
(a redirect to the JSON-RPC POST, its channel list with doubled colons in the head and a length that
is not the body's, 303 to its commands), makes the channel by the admin fetch, takes each track by
setmeta and ends the channel by the admin stop.

Every run records the broadcast: the file holds all of it, its titles and, with the lossless codec
used here, the player's PCM bit for bit. With --record-faults the recording folder is a tmpfs
mounted in a namespace of the test's own: read-only, one that fills, and a player killed mid-way;
the broadcast goes on each time and the monitor's recording line says what happened.

Usage: broadcast_e2e.py BIN_DIR [--mixed-locale | --relay | --record-faults]   (the build's bin
folder; Wine environment from the caller)
"""
import json
import math
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

from e2e_support import (check, checks_failed, finish_listeners, free_port, reset_checks, wait_or_kill,
                         wait_until_listening, windows_path)

BIN = sys.argv[1]
MIXED_LOCALE = '--mixed-locale' in sys.argv[2:]
RELAY = '--relay' in sys.argv[2:]
RECORD_FAULTS = '--record-faults' in sys.argv[2:]
RECORDING_NAME = re.compile(r'^ombrel-(\d{8})-(\d{6})(-\d+)?\.wma$')
RELAY_ID = 'FEEDFACE0123456789ABCDEF01234567'
ASF_HEADER_GUID = bytes.fromhex('3026B2758E66CF11A6D900AA0062CE6C')
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, 'scripts', 'wine-run.sh')

# The built-in playlist: (seconds, artist, title, album, the player's playlist title).
TRACKS = [
    (3, 'Ombrel Test Ensemble', 'Concert Pitch', 'Ombrel Stand-in Tones', 'Ombrel Test Ensemble - Concert Pitch'),
    (2, '日本語のアーティスト', '桜', '春の歌', '日本語のアーティスト - 桜'),
    (3, 'Placeholder Band', 'Literal %TITLE% Marker', 'Ombrel Stand-in Tones', 'Placeholder Band - Literal %TITLE% Marker'),
    (2, '', 'Nobody Played This', 'Ombrel Stand-in Tones', '04 No Artist.wav'),
]
# Then tracks whose tags and file names hold characters outside code page 932.
UNICODE_TRACKS = [
    (2, 'Beyoncé', 'Déjà Vu', 'Déjà Vu – Single', 'Beyoncé - Déjà Vu'),
    (2, '방탄소년단', '봄날', 'You Never Walk Alone', '방탄소년단 - 봄날'),
    (2, '刘若英', '这首歌', '专辑', '刘若英 - 这首歌'),
    (2, '𠮷田', '𠮷野家の歌 🎵', '🎵', '𠮷田 - 𠮷野家の歌 🎵'),
]
ALL_TRACKS = TRACKS + UNICODE_TRACKS
SCRIPT_FORMAT = '%ARTIST% - %TITLE% [%LENGTH%]'
# The JSON-RPC node finds the channel by its name in UTF-8, converted from the code page.
CHANNEL = 'E2E チャンネル' if MIXED_LOCALE else 'E2E Channel'

def script_title(track):
    seconds, artist, title, album, _ = track
    # Artist first, then the title: a title holding "%TITLE%" is never searched again.
    return SCRIPT_FORMAT.replace('%ARTIST%', artist).replace('%TITLE%', title, 1) \
        .replace('[%LENGTH%]', '[%d:%02d]' % (seconds // 60, seconds % 60))


class Node(threading.Thread):
    """The PeerCast node: answers every request as a node does and keeps its bytes. An old-style
    node takes setmeta; a JSON-RPC node answers it 400 Bad Request and takes POST /api/1 as
    peercast-yt does, keeping each track setChannelInfo gave its channel."""

    def __init__(self, port, json_rpc, old_relay=False):
        super().__init__(daemon=True)
        self.server = socket.socket()
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(('127.0.0.1', port))
        self.server.listen(8)
        self.old_relay = old_relay
        self.json_rpc = json_rpc or (RELAY and not old_relay)
        self.made = []      # each fetch's params
        self.stopped = []   # each stopChannel's channel id
        self.pulled = b''   # what the node's pull of the stream received
        self.requests = []
        self.answers = []
        self.tracks = []
        self.info = {'name': CHANNEL, 'desc': 'd', 'genre': 'g', 'url': 'http://contact/', 'comment': 'c',
                     'bitrate': 200, 'contentType': 'WMV', 'mimeType': 'video/x-ms-wmv'}
        self.track = {'name': '', 'creator': '', 'album': '', 'genre': 'tg', 'url': 'http://track/'}

    def answer(self, data):
        if self.old_relay:
            return self.admin(data)
        if not self.json_rpc:
            return b'HTTP/1.0 200 OK\r\nServer: PeerCast/0.1218\r\n\r\n'
        if not data.startswith(b'POST /api/1 '):
            return b'HTTP/1.0 400 Bad Request\r\n\r\n'
        try:
            call = json.loads(data.split(b'\r\n\r\n', 1)[1].decode('utf-8'))
        except ValueError:
            return self.reply({'jsonrpc': '2.0', 'error': {'code': -32700, 'message': 'Parse error'}, 'id': None})
        method, params = call.get('method'), call.get('params', {})
        if method == 'getChannels':
            result = [{'channelId': '0123456789ABCDEF0123456789ABCDEF', 'info': self.info, 'track': self.track,
                       'status': {}, 'yellowPages': []}]
            if RELAY:
                result = [{'channelId': RELAY_ID, 'info': self.info, 'track': self.track,
                           'status': {'isBroadcasting': True}, 'yellowPages': []}] if self.made and not self.stopped else []
        elif RELAY and method == 'fetch':
            # As peercast-yt: every text a string, the bit rate a number; then it pulls the source.
            if not all(isinstance(params.get(k), str) for k in ('url', 'name', 'desc', 'genre', 'contact', 'type')) or \
                    not isinstance(params.get('bitrate'), int):
                return self.reply({'jsonrpc': '2.0', 'error': {'code': -32602, 'message': 'Invalid params'},
                                   'id': call.get('id')})
            self.made.append({k: v for k, v in params.items() if k != 'network'})
            self.info = {'name': params['name'], 'desc': params['desc'], 'genre': params['genre'],
                         'url': params['contact'], 'comment': '', 'bitrate': params['bitrate'],
                         'contentType': 'WMA', 'mimeType': 'audio/x-ms-wma'}
            threading.Thread(target=self.pull, args=(params['url'],), daemon=True).start()
            result = RELAY_ID
        elif RELAY and method == 'stopChannel':
            self.stopped.append(params.get('channelId'))
            result = None
        else:
            params = call.get('params', {})
            info, track = params.get('info', {}), params.get('track', {})
            if not all(isinstance(info.get(k), str) for k in ('name', 'desc', 'genre', 'url', 'comment')) or \
                    not all(isinstance(track.get(k), str) for k in ('url', 'name', 'creator', 'album', 'genre')):
                return self.reply({'jsonrpc': '2.0', 'error': {'code': -32603, 'message': 'Internal error'},
                                   'id': call.get('id')})
            self.info = dict(self.info, **info)
            self.track = dict(track)
            self.tracks.append(dict(track))
            result = None
        return self.reply({'jsonrpc': '2.0', 'result': result, 'id': call.get('id')})

    def admin(self, data):
        """An old-style node's answers, as a PeerCast IM build sent them."""
        line = data.split(b'\r\n', 1)[0].decode('latin-1')
        m = re.match(r'^GET /admin\?(\S*) HTTP/1\.[01]$', line)
        if not m:
            return b'HTTP/1.0 302 Found\r\nLocation: /html/en/index.html\r\n\r\n'
        query = {}
        for pair in m.group(1).split('&'):
            key, _, value = pair.partition('=')
            query.setdefault(key, urllib.parse.unquote_plus(value, encoding='utf-8', errors='replace'))
        cmd = query.get('cmd')
        if cmd == 'fetch':
            self.made.append({k: (int(v) if k == 'bitrate' else v) for k, v in query.items() if k != 'cmd'})
            threading.Thread(target=self.pull, args=(query.get('url', ''),), daemon=True).start()
            return b'HTTP/1.0 303 See Other\r\nLocation: /html/en/relays.html\r\n\r\n'
        if cmd == 'stop':
            self.stopped.append(query.get('id'))
            return b'HTTP/1.0 303 See Other\r\nLocation: /html/en/relays.html\r\n\r\n'
        if cmd == 'setmeta':
            self.tracks.append({'name': query.get('t_title', ''), 'creator': query.get('t_artist', ''),
                                'album': query.get('t_album', '')})
            return b'HTTP/1.0 303 See Other\r\nLocation: /\r\n\r\n'
        channels = ''
        if self.made and not self.stopped:
            made = self.made[0]
            channels = ('<channel name="%s" id="%s" bitrate="%d" type="WMA" genre="" desc="" url="" uptime="0" '
                        'comment="" skips="0" age="0" bcflags="0"><relay listeners="0" relays="0" hosts="0" '
                        'status="BROADCAST"/><track title="" artist="" album="" genre="" contact=""/></channel>'
                        % (made.get('name', '').replace('&', '&amp;').replace('"', '&quot;').replace('<', '&lt;'),
                           RELAY_ID, made.get('bitrate', 0)))
        xml = ('<?xml version="1.0" encoding="utf-8" ?>\n<peercast session="00"><servent uptime="10"/>'
               '<bandwidth out="0" in="0"/><connections total="0" relays="0" direct="0"/>'
               '<channels_relayed total="%d">%s</channels_relayed><channels_found total="0"></channels_found>'
               '<host_cache></host_cache></peercast>\n' % (1 if channels else 0, channels))
        return (b'HTTP/1.0 200 OK\r\nContent-Length:: 233\r\nContent-Type:: text/xml\r\n'
                b'Server:: PeerCast/0.1218\r\nDate: Tue, 08 Dec 2026 06:00:00 GMT\r\nServer: PeerCast/0.1218\r\n'
                b'Connection: close\r\n\r\n' + xml.encode('utf-8'))

    def pull(self, url):
        """The node's pull of the source, as a Windows Media client asks for it."""
        parts = urllib.parse.urlsplit(url)
        try:
            with socket.create_connection((parts.hostname, parts.port), timeout=5) as s:
                s.sendall(b'GET / HTTP/1.0\r\nAccept: */*\r\nUser-Agent: NSPlayer/4.1.0.3856\r\n'
                          b'Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,'
                          b'max-duration=0\r\nPragma: xClientGUID={c77e7400-738a-11d2-9add-0020af0a3278}\r\n'
                          b'Connection: Close\r\n\r\n')
                while len(self.pulled) < 65536:
                    chunk = s.recv(4096)
                    if not chunk:
                        break
                    self.pulled += chunk
        except OSError:
            pass

    @staticmethod
    def reply(answer):
        body = json.dumps(answer, ensure_ascii=False).encode('utf-8')
        return b'HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n' % len(body) + body

    def run(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            with conn:
                conn.settimeout(5)
                data = b''
                try:
                    while b'\r\n\r\n' not in data:
                        chunk = conn.recv(4096)
                        if not chunk:
                            break
                        data += chunk
                    length = re.search(rb'\r\nContent-Length: *(\d+)', data.split(b'\r\n\r\n', 1)[0], re.I)
                    while length and len(data.split(b'\r\n\r\n', 1)[1]) < int(length.group(1)):
                        chunk = conn.recv(4096)
                        if not chunk:
                            break
                        data += chunk
                    answer = self.answer(data)
                    conn.sendall(answer)
                except OSError:
                    answer = b''
                self.requests.append(data)
                self.answers.append(answer)


def script_packets(probe_out, probe_err=b''):
    """(time, type, command) of each script command in ffprobe's -show_packets -show_data JSON."""
    packets = []
    try:
        for p in json.loads(probe_out or b'{}').get('packets', []):
            hexes = ''.join(line[10:50].replace(' ', '') for line in p.get('data', '').split('\n') if line)
            raw = bytes.fromhex(hexes).decode('utf-16-le')
            kind, text = (raw.split('\0') + ['', ''])[:2]
            packets.append((float(p['pts_time']), kind, text))
    except (ValueError, KeyError) as e:
        check('ffprobe output readable', False, '%s: %s' % (e, probe_err.decode(errors='replace')))
    return packets


def decode_recording(path):
    """The recording's audio as FFmpeg decodes it (16-bit stereo), its duration and FFmpeg's complaints."""
    run = lambda *args: subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    decoded = run('ffmpeg', '-nostdin', '-v', 'error', '-i', path, '-map', '0:a', '-f', 's16le', '-')
    probe = run('ffprobe', '-v', 'error', '-show_entries', 'format=duration', '-of', 'csv=p=0', path)
    duration = float(probe.stdout or -1)
    return decoded.stdout, duration, (decoded.stderr + probe.stderr).decode(errors='replace').strip()


def sine_frames(frequency, frames):
    """The player's built-in 44.1 kHz 16-bit stereo tracks: half-scale sines, the right channel a
    quarter period ahead, rounded half away from zero."""
    values = (0.5 * math.sin(2.0 * math.pi * frequency * i / 44100 + c * math.pi / 2.0) * 32767
              for i in range(frames) for c in range(2))
    return b''.join(struct.pack('<h', int(math.copysign(math.floor(abs(v) + 0.5), v))) for v in values)


def check_recording(folder, started, ended, changed, log):
    """One file named after the start, the whole broadcast, its titles at their times, and the
    last four tracks bit for bit as the player played them."""
    names = os.listdir(folder)
    m = RECORDING_NAME.match(names[0]) if len(names) == 1 else None
    check('one recording named ombrel-YYYYMMDD-HHMMSS.wma', bool(m), '%r' % names)
    if not m:
        return
    stamp = time.mktime(time.strptime(m.group(1) + m.group(2), '%Y%m%d%H%M%S'))
    check('named after the start, the monitor showing it', started - 2 <= stamp <= ended + 2 and
          'record line: 録音中: ' + names[0] in log)
    path = os.path.join(folder, names[0])
    audio, duration, complaints = decode_recording(path)
    check('FFmpeg decodes the whole recording without a complaint', audio and not complaints, complaints)
    probe = subprocess.run(['ffprobe', '-v', 'error', '-select_streams', 'd', '-show_packets', '-show_data',
                            '-of', 'json', path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    times = {}
    for t, kind, text in script_packets(probe.stdout, probe.stderr):
        times.setdefault(text, t) if kind == 'TEXT' else None
    want = [script_title(track) for track in changed]
    check('each title in the recording', all(w in times for w in want), '%r' % list(times))
    if not all(w in times for w in want):
        return
    # The second track's title comes when the rest of the first has played.
    broadcast = sum(track[0] for track in ALL_TRACKS) - (TRACKS[0][0] - times[want[0]])
    check('the recording lasts as long as the broadcast, within 1 s', abs(duration - broadcast) <= 1.0,
          'ffprobe %.3f s, broadcast %.3f s, decoded %.3f s' % (duration, broadcast, len(audio) / 4 / 44100))
    gaps = [times[want[i + 1]] - times[want[i]] for i in range(len(want) - 1)]
    check('the titles at their times', all(abs(g - c[0]) <= 0.3 for g, c in zip(gaps, changed)), '%r' % gaps)
    # The last four tracks are the stream's own format; they begin within a few blocks of the
    # other tracks' lengths after the second one.
    frequencies = {'Déjà Vu': 392.0, '봄날': 440.0, '这首歌': 494.0, '𠮷野家の歌 🎵': 523.0}
    expected = b''.join(sine_frames(frequencies[t[2]], t[0] * 44100) for t in UNICODE_TRACKS)
    at = round((times[want[0]] + sum(t[0] for t in TRACKS[1:])) * 44100)
    start = next((a for a in range(max(0, at - 2048), at + 2048) if audio[a * 4:a * 4 + 4096] == expected[:4096]), None)
    got = audio[start * 4:start * 4 + len(expected)] if start is not None else b''
    whole = len(expected) - 4 * 4410  # the player's last block may go out after the stop
    check('the last tracks bit for bit as the player played them', got[:whole] == expected[:whole] and
          len(got) >= whole, 'from frame %s, %d of %d bytes' % (start, len(got), len(expected)))


def check_channel_made(node, stream_port, how):
    made = node.made[0] if node.made else {}
    # The stream's total as its profile gives it: this file's codec 0, PCM at 1,411,200 bit/s,
    # and the title stream's 10,000 bit/s.
    check('the channel made %swith the stream\'s fields' % how, made == {
        'url': 'http://127.0.0.1:%d/' % stream_port, 'name': CHANNEL, 'desc': '夜の放送', 'genre': 'ジャズ',
        'contact': 'http://example.jp/thread/1', 'bitrate': 1421, 'type': 'WMA'}, '%r' % made)
    check('the node pulled the stream like a listener', node.pulled.startswith(b'HTTP/1.') and
          ASF_HEADER_GUID in node.pulled, '%d bytes' % len(node.pulled))


def main():
    if RECORD_FAULTS:
        return record_faults()
    status = 0
    for version in ('5.666', '2.95'):
        print('=== player version %s ===' % version)
        work = tempfile.mkdtemp(prefix='ombrel-e2e-')
        try:
            status |= run(work, version)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return status


# Each fault: the tmpfs mount's options, and whether the player is killed 8 s in.
RECORD_FAULTS_CASES = [('read-only', 'ro,size=1m', False), ('full', 'size=512k', False), ('killed', 'size=64m', True)]


def record_faults():
    probe = ('mount -t tmpfs -o size=16k tmpfs /mnt && mkdir /mnt/lower /mnt/upper /mnt/work && '
             'mount -t overlay overlay -o lowerdir=/mnt/lower,upperdir=/mnt/upper,workdir=/mnt/work /mnt/lower')
    if subprocess.run(['unshare', '-m', 'sh', '-c', probe],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        print('skipped: this machine gives the test no mount namespace to mount a tmpfs and an overlay in')
        return 77
    status = 0
    for case in RECORD_FAULTS_CASES:
        work = tempfile.mkdtemp(prefix='ombrel-record-')
        try:
            status |= record_fault(work, *case)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return status


def record_fault(work, case, mount_options, kill):
    reset_checks()
    print('=== recording folder: %s ===' % case)
    plugins, folder, kept, prefix_changes = (os.path.join(work, d)
                                             for d in ('Plugins', 'recordings', 'kept', 'prefix-changes'))
    for d in (plugins, folder, kept, prefix_changes):
        os.makedirs(d)
    shutil.copy(os.path.join(BIN, 'dsp_ombrel.dll'), plugins)
    for name in ('ombrel_player.exe', 'wmvcore.dll'):
        shutil.copy(os.path.join(BIN, name), work)
    port = free_port()
    with open(os.path.join(plugins, 'dsp_ombrel.ini'), 'w', encoding='cp932', newline='\r\n') as f:
        f.write('[Extra]\n_dwPort=%d\n_fPlayLog=false\n_fArchive=true\n_cArchiveFolder=%s\n[Script]\n_fEnable=true\n'
                % (port, windows_path(folder)))
    # Wine's server opens the files, so the namespace needs a server of its own, one that sees the
    # namespace's mounts. Wine finds a prefix's server by the prefix folder's device and inode, in a
    # socket folder whose place differs between Wine builds (Debian's names it in the prefix), so
    # the namespace sees the prefix through an overlay: a folder no server outside serves, whose
    # registry writes stay in the namespace. That server is started first and must be a new one:
    # wineserver exits with 2 when a server of the prefix already runs. What the recording folder
    # holds at the end is copied out.
    player = 'bash "$2" ./ombrel_player.exe --plugin "$3" --command 40002@0.5 --watch-script --exit-at-end'
    player += ' & pid=$!; sleep 8; kill -9 $pid; wait $pid; status=0' if kill else '; status=$?'
    shell = '''set -e
        mount -t tmpfs tmpfs "$6"
        mkdir "$6/upper" "$6/work"
        mount -t overlay overlay -o lowerdir="$7",upperdir="$6/upper",workdir="$6/work" "$7"
        mount -t tmpfs -o %s tmpfs "$1"
        cd "$5"
        wineserver -p || { echo "no wineserver of the namespace's own: exit $?"; exit 1; }
        set +e
        %s
        cp "$1"/* "$4"/ 2>/dev/null
        wineserver -k
        exit $status''' % (mount_options, player)
    env = dict(os.environ, LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8', WINEDLLOVERRIDES='mscoree,mshtml=;wmvcore=n')
    with open(os.path.join(work, 'player.log'), 'wb') as out:
        process = subprocess.Popen(['unshare', '-m', 'sh', '-c', shell, 'sh', folder, WINE_RUN,
                                    windows_path(os.path.join(plugins, 'dsp_ombrel.dll')), kept, work,
                                    prefix_changes, os.environ['WINEPREFIX']],
                                   env=env, stdout=out, stderr=subprocess.STDOUT)
        wait_until_listening(process, port, 60, 0.05)
        pull = subprocess.run(['timeout', '60', 'ffmpeg', '-nostdin', '-v', 'error', '-i', 'mmsh://127.0.0.1:%d/' % port,
                               '-map', '0:a', '-f', 's16le', '-'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        status = process.wait(timeout=120)
    log = open(os.path.join(work, 'player.log'), 'rb').read().decode('cp932', 'replace')
    print('--- player ---\n' + log.strip() + '\n--- end of player ---')
    heard = len(pull.stdout) / 4 / 44100
    check('the broadcast went on, a listener playing it', status == 0 and heard >= (5 if kill else 12),
          'exit %s, %.2f s heard' % (status, heard))
    lines = re.findall(r'^record line: (.*?)\r?$', log, re.M)
    names = os.listdir(kept)
    print('record lines: %r, files: %r' % (lines, names))
    if case == 'read-only':
        check('the monitor says the folder cannot be written, and no file',
              '録音できません: 録音フォルダに書き込めません' in lines and names == [])
        return 1 if checks_failed() else 0
    check('the monitor showed the recording of the one file',
          len(names) == 1 and RECORDING_NAME.match(names[0]) and '録音中: ' + names[0] in lines, '%r' % names)
    check('the monitor says the recording stopped' if not kill else 'no stop line before the kill',
          ('録音停止: 書き込めなくなりました (ディスクの空き不足など)' in lines) != kill)
    if names:
        audio, duration, complaints = decode_recording(os.path.join(kept, names[0]))
        decoded = len(audio) / 4 / 44100
        if kill:
            # The header still says live and unfinished; FFmpeg plays the packets there are.
            check('what was written before the kill plays in FFmpeg', decoded >= 3, '%.2f s' % decoded)
        else:
            check('the file up to the full disk is complete: it decodes whole and says its length',
                  not complaints and decoded >= 1 and abs(duration - decoded) <= 0.1,
                  '%.3f s decoded, duration %.3f s, %r' % (decoded, duration, complaints))
    print('recording fault %s ' % case + ('FAILED' if checks_failed() else 'passed'))
    return 1 if checks_failed() else 0


def holds_cp932(text):
    try:
        text.encode('cp932')
        return True
    except UnicodeEncodeError:
        return False


def run(work, version):
    reset_checks()
    unicode_player = version != '2.95'
    # A 2.95 player names the files outside the code page by paths no request can open: their tags
    # are refused, and their captions and PeerCast updates carry the playlist's title as the code
    # page holds it.
    followed = ALL_TRACKS if unicode_player else TRACKS
    plugins = os.path.join(work, 'Plugins')
    os.makedirs(plugins)
    shutil.copy(os.path.join(BIN, 'dsp_ombrel.dll'), plugins)
    shutil.copy(os.path.join(BIN, 'ombrel_player.exe'), work)
    shutil.copy(os.path.join(BIN, 'wmvcore.dll'), work)

    stream_port, node_port = free_port(), free_port()
    play_log = os.path.join(work, 'play log.txt')
    recordings = os.path.join(work, 'recordings')
    os.makedirs(recordings)
    ini = os.path.join(plugins, 'dsp_ombrel.ini')
    with open(ini, 'w', encoding='cp932', newline='\r\n') as f:
        f.write('[Extra]\n_dwPort=%d\n_dwMaxClient=5\n_fPlayLog=true\n_cPlayLog=%s\n'
                % (stream_port, windows_path(play_log)))
        f.write('_fArchive=true\n_cArchiveFolder=%s\n' % windows_path(recordings))
        if RELAY:
            f.write('_cGenre=ジャズ\n_cDescription=夜の放送\n')
        f.write('[PeerCast]\n_fEnable=true\n_dwPort=%d\n_cChannel=%s\n_cFormatArtist=%%ARTIST%%\n'
                '_cFormatTitle=%%TITLE%% (%%LENGTH%%)\n_cFormatAlbum=%%ALBUM%%\n' % (node_port, CHANNEL))
        if RELAY:
            f.write('_fRelayChannel=true\n_cContact=http://example.jp/thread/1\n')
        f.write('[Script]\n_fEnable=true\n_cFormat=%s\n' % SCRIPT_FORMAT)

    old_relay = RELAY and not unicode_player
    node = Node(node_port, MIXED_LOCALE, old_relay)
    node.start()

    if MIXED_LOCALE:
        env = {k: v for k, v in os.environ.items() if not k.startswith('LC_')}
        env.update(LANG='en_US.UTF-8', LC_CTYPE='ja_JP.UTF-8')
    else:
        env = dict(os.environ, LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')
    player_out = open(os.path.join(work, 'player.log'), 'wb')
    started = time.time()
    player = subprocess.Popen(
        ['bash', WINE_RUN, './ombrel_player.exe', '--plugin', windows_path(os.path.join(plugins, 'dsp_ombrel.dll')),
         '--command', '40002@0.5', '--watch-script', '--verify', '--exit-at-end', '--version', version],
        cwd=work, env=env, stdout=player_out, stderr=subprocess.STDOUT)

    # Listen as soon as the port answers: the second track starts 3 s into the playlist.
    url = 'mmsh://127.0.0.1:%d/' % stream_port
    deadline = time.time() + 30
    listening = False
    while time.time() < deadline and player.poll() is None:
        try:
            socket.create_connection(('127.0.0.1', stream_port), timeout=0.2).close()
            listening = True
            break
        except OSError:
            time.sleep(0.03)
    check('the broadcast answers on its port', listening, url)
    probe = subprocess.Popen(['ffprobe', '-v', 'error', '-select_streams', 'd', '-show_packets', '-show_data',
                              '-of', 'json', url], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    audio_raw = os.path.join(work, 'audio.raw')
    pull = subprocess.Popen(['ffmpeg', '-nostdin', '-v', 'error', '-i', url, '-map', '0:a', '-f', 's16le',
                             '-ac', '2', '-ar', '44100', audio_raw], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    status = wait_or_kill(player, 90)
    ended = time.time()
    player_out.close()
    probe_out, probe_err = finish_listeners(probe, pull, 30)
    log = open(os.path.join(work, 'player.log'), 'rb').read().decode('cp932', 'replace')
    print('--- player ---\n' + log.strip() + '\n--- end of player ---')
    check('the player exits cleanly with every block untouched', status == 0 and 'modified blocks 0' in log,
          'exit %s' % status)
    check('the main window took the start command', 'command 40002: sending WM_COMMAND' in log)

    # Tracks announced after the start: the three that follow the first.
    announced = [int(m) for m in re.findall(r'^track (\d+) started', log, re.M)]
    check('the player announced the eight tracks', announced == list(range(1, 9)), str(announced))
    changed = followed[1:]

    # Script commands as FFmpeg sees them: type and text, two UTF-16 strings.
    packets = script_packets(probe_out, probe_err)
    for t, kind, text in packets:
        print('script %.3f s: %r %r' % (t, kind, text))
    titles = [(t, text) for t, kind, text in packets if kind == 'TEXT']
    keepalive = [t for t, kind, text in packets if kind == '' and text == '']
    want = [script_title(track) for track in changed]
    # The timer resends the title 16 s after the start's caption: one caption per track counts.
    seen = [text for i, (_, text) in enumerate(titles)
            if text != script_title(TRACKS[0]) and (i == 0 or text != titles[i - 1][1])]
    if not unicode_player:
        untagged = seen[len(want):]
        check('the files no request opens get a caption each, from the playlist',
              len(untagged) == len(UNICODE_TRACKS) and all(' - ' in t for t in untagged), '%r' % untagged)
        seen = seen[:len(want)]
    check('each changed track reaches the listener as a TEXT command with its formatted title', seen == want,
          '%r' % seen)
    times = {}
    for t, text in titles:
        times.setdefault(text, t)
    if all(w in times for w in want):
        gaps = [times[want[i + 1]] - times[want[i]] for i in range(len(want) - 1)]
        expected = [changed[i][0] for i in range(len(changed) - 1)]
        check('the titles are stamped on the audio clock, one track length apart',
              all(abs(g - e) <= 0.3 for g, e in zip(gaps, expected)),
              'gaps %s s, track lengths %s s' % (['%.3f' % g for g in gaps], expected))
    check('empty keep-alive commands between the titles', len(keepalive) >= 2, '%d' % len(keepalive))

    # The main window's script field showed each title.
    field = re.findall(r'^script field: (.*?)\r?$', log, re.M)
    check('the script field showed each title', all(w in field for w in want if holds_cp932(w)), '%r' % field)

    # PeerCast: the track playing at the start, then each changed one; texts in the code page as
    # setmeta always sent them, or as UTF-8 through JSON-RPC, the channel's name in UTF-8.
    requests = [r.decode('latin-1') for r in node.requests]
    for r, a in zip(requests, node.answers):
        print('node got: %r' % r)
        print('node answered: %r' % a.decode('latin-1'))
    sent = followed
    untitled = [] if unicode_player else UNICODE_TRACKS
    want_tracks = [{'name': '%s (%d:%02d)' % (title, seconds // 60, seconds % 60), 'creator': artist,
                    'album': album, 'genre': 'tg', 'url': 'http://track/'}
                   for seconds, artist, title, album, _ in sent]
    methods = [json.loads(r.split('\r\n\r\n', 1)[1]).get('method') if r.startswith('POST ') else r.split(' ', 2)[:2]
               for r in requests]
    if old_relay:
        lines = [r.split('\r\n', 1)[0] for r in requests]
        commands = ['POST' if l.startswith('POST ') else (re.match(r'GET /admin\?cmd=(\w+)', l) or [None, l])[1]
                    for l in lines]
        check('the JSON-RPC POST redirected, then viewxml, fetch, viewxml, a setmeta per track and stop',
              commands == ['POST', 'viewxml', 'fetch', 'viewxml'] + ['setmeta'] * (len(sent) + len(untitled)) +
              ['stop'],
              '%r' % commands)
        check_channel_made(node, stream_port, 'by the admin fetch ')
        check('the channel ended at the stop', node.stopped == [RELAY_ID], '%r' % node.stopped)
    elif RELAY:
        check('getChannels, fetch, the tracks by getChannels and setChannelInfo, and stopChannel at the stop',
              methods == ['getChannels', 'fetch'] + ['getChannels', 'setChannelInfo'] * (len(sent) + len(untitled)) + ['stopChannel'],
              '%r' % methods)
        check_channel_made(node, stream_port, '')
        check('the channel showed each track', node.tracks[:len(want_tracks)] == want_tracks and
              all(t['creator'] == '' for t in node.tracks[len(want_tracks):]) and
              len(node.tracks) == len(want_tracks) + len(untitled), '%r' % node.tracks)
        check('the channel ended at the stop', node.stopped == [RELAY_ID], '%r' % node.stopped)
    elif node.json_rpc:
        setmeta = 'GET /admin?cmd=setmeta&name=%s&' % urllib.parse.quote_plus(CHANNEL.encode('utf-8'), safe='*-._')
        check('setmeta once, then getChannels and setChannelInfo for each track',
              requests[:1] and requests[0].startswith(setmeta) and
              [r.split(' ', 2)[:2] for r in requests[1:]] == [['POST', '/api/1']] * (2 * (len(sent) + len(untitled))),
              '%d requests' % len(requests))
        check('the channel showed each track, Japanese intact', node.tracks[:len(want_tracks)] == want_tracks and
              all(t['creator'] == '' for t in node.tracks[len(want_tracks):]) and
              len(node.tracks) == len(want_tracks) + len(untitled), '%r' % node.tracks)
        check("the channel's own info unchanged", node.info['desc'] == 'd' and node.info['comment'] == 'c' and
              node.info['name'] == CHANNEL, '%r' % node.info)
    else:
        check('one setmeta for the track at the start and per changed track',
              len(requests) == len(sent) + len(untitled), '%d requests' % len(requests))
        for r, track in zip(requests, sent):
            seconds, artist, title, album, _ = track
            if not holds_cp932(artist + title + album):
                check('setmeta for %s in the bytes the code page makes of it' % title,
                      r.startswith('GET /admin?cmd=setmeta&name=') and r.endswith('\r\n\r\n'), r.split('\r\n')[0])
                continue
            line = r.split('\r\n')[0]
            m = re.match(r'^GET /admin\?cmd=setmeta&name=([^& ]*)&t_artist=([^& ]*)&t_title=([^& ]*)&t_album=([^& ]*) HTTP/1.0$', line)
            fields = [urllib.parse.unquote_to_bytes(v.replace('+', ' ')) for v in m.groups()] if m else []
            expect = [CHANNEL.encode('utf-8'), artist.encode('cp932'),
                      ('%s (%d:%02d)' % (title, seconds // 60, seconds % 60)).encode('cp932'), album.encode('cp932')]
            check('setmeta for %s' % title, fields == expect and r.endswith('\r\n\r\n'), line)

    # Play log: the track playing at the start, then one line per track announced during the
    # broadcast, the playlist's title.
    try:
        lines = open(play_log, 'rb').read().decode('cp932', 'replace').split('\r\n')
    except OSError:
        lines = []
    entries = [l for l in lines if l]
    print('play log: %r' % entries)
    stamps = []
    ok = len(entries) == len(ALL_TRACKS) and lines[-1] == ''
    for line, track in zip(entries, ALL_TRACKS):
        m = re.match(r'^(\d{4})/(\d\d)/(\d\d) (\d\d):(\d\d):(\d\d) > (.*)$', line)
        ok &= bool(m) and (m.group(7) == track[4] or not holds_cp932(track[4]))
        if m:
            stamps.append(time.mktime(tuple(int(g) for g in m.groups()[:6]) + (0, 0, -1)))
    ok &= all(started - 2 <= s <= ended + 2 for s in stamps)
    check('the play log has one line per announced track, local time and playlist title', ok)

    # The listener heard the broadcast: about the seconds it was connected.
    heard = os.path.getsize(audio_raw) / 4 / 44100 if os.path.exists(audio_raw) else 0
    check('FFmpeg decoded the audio', heard >= 6, '%.2f s' % heard)

    check_recording(recordings, started, ended, changed, log)

    # Quit saved the settings, ours among them.
    saved = open(ini, 'rb').read().decode('cp932')
    check('Quit saved all 32 settings', saved.count('=') == 32)
    check('the saved settings keep what was set', all(s in saved for s in (
        '_cChannel=' + CHANNEL, '_dwPort=%d' % stream_port, '_cFormat=' + SCRIPT_FORMAT)))
    node.server.close()
    print('broadcast end to end with player %s ' % version + ('FAILED' if checks_failed() else 'passed'))
    return 1 if checks_failed() else 0


if __name__ == '__main__':
    sys.exit(main())
