#!/usr/bin/env python3
"""The plug-in DLL in each kind of host the player stand-in plays (ombrel_player --host KIND),
with the runtime stand-in under Wine: the main window's 配信開始 starts the broadcast during the
first track, FFmpeg listens, and during the third track the player quits. Per host: one caption per
track where the host gives titles (the tags' template where it gives tags, its playlist's title
where it gives none), none where it gives nothing; one play log line per track; every block handed
back untouched; the audio heard; Quit ends the broadcast. The playlist is the built-in one.

Usage: hosts_e2e.py BIN_DIR   (the build's bin folder; Wine environment from the caller)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from e2e_support import (check, checks_failed, finish_listeners, free_port, windows_path, wait_until_listening,
                         wait_or_kill)

BIN = sys.argv[1]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, 'scripts', 'wine-run.sh')
SCRIPT_FORMAT = '%ARTIST% - %TITLE% [%LENGTH%]'
# The built-in playlist's first three tracks: (seconds, the tags' caption, the playlist's title).
TRACKS = [
    (3, 'Ombrel Test Ensemble - Concert Pitch [0:03]', 'Ombrel Test Ensemble - Concert Pitch'),
    (2, '日本語のアーティスト - 桜 [0:02]', '日本語のアーティスト - 桜'),
    (3, 'Placeholder Band - Literal %TITLE% Marker [0:03]', 'Placeholder Band - Literal %TITLE% Marker'),
]
# What each kind gives: tags, its playlist's titles, or nothing.
HOSTS = [('winamp5', 'tags'), ('winamp2', 'tags'), ('lean', 'playlist'), ('utf8', 'playlist'),
         ('silent', None), ('foreign-thread', 'playlist')]

def run(work, host, gives):
    plugins = os.path.join(work, 'Plugins')
    os.makedirs(plugins)
    shutil.copy(os.path.join(BIN, 'dsp_ombrel.dll'), plugins)
    shutil.copy(os.path.join(BIN, 'ombrel_player.exe'), work)
    shutil.copy(os.path.join(BIN, 'wmvcore.dll'), work)
    port = free_port()
    play_log = os.path.join(work, 'play.log')
    with open(os.path.join(plugins, 'dsp_ombrel.ini'), 'w', encoding='cp932', newline='\r\n') as f:
        f.write('[Extra]\n_dwPort=%d\n_dwMaxClient=5\n_fPlayLog=true\n_cPlayLog=%s\n[Script]\n_fEnable=true\n'
                '_cFormat=%s\n' % (port, windows_path(play_log), SCRIPT_FORMAT))
    env = dict(os.environ, LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')
    out = open(os.path.join(work, 'player.log'), 'wb')
    player = subprocess.Popen(
        ['bash', WINE_RUN, './ombrel_player.exe', '--plugin', windows_path(os.path.join(plugins, 'dsp_ombrel.dll')),
         '--host', host, '--command', '40002@0.5', '--verify', '--quit-after', '7.5'],
        cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)
    wait_until_listening(player, port, 30, 0.03)
    url = 'mmsh://127.0.0.1:%d/' % port
    probe = subprocess.Popen(['ffprobe', '-v', 'error', '-select_streams', 'd', '-show_packets', '-show_data',
                              '-of', 'json', url], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    raw = os.path.join(work, 'audio.raw')
    pull = subprocess.Popen(['ffmpeg', '-nostdin', '-v', 'error', '-i', url, '-map', '0:a', '-f', 's16le', raw],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    status = wait_or_kill(player, 60)
    out.close()
    probe_out, _ = finish_listeners(probe, pull, 20)
    log = open(os.path.join(work, 'player.log'), 'rb').read().decode('cp932', 'replace')
    check('%s: the player quits cleanly with every block untouched' % host,
          status == 0 and 'modified blocks 0' in log and 'quit: plug-in unloaded' in log, 'exit %s' % status)
    captions = []
    for p in json.loads(probe_out or b'{}').get('packets', []):
        hexes = ''.join(line[10:50].replace(' ', '') for line in p.get('data', '').split('\n') if line)
        kind, text = (bytes.fromhex(hexes).decode('utf-16-le').split('\0') + ['', ''])[:2]
        if kind == 'TEXT' and (not captions or captions[-1] != text):
            captions.append(text)
    # The first track's caption goes out as the broadcast comes up, mostly before FFmpeg joins.
    want = [] if gives is None else [t[1] if gives == 'tags' else t[2] for t in TRACKS]
    check('%s: one caption per track' % host, captions in (want, want[1:]), '%r' % captions)
    try:
        lines = [l.split(' > ', 1)[-1] for l in open(play_log, 'rb').read().decode('cp932').split('\r\n') if l]
    except OSError:
        lines = []
    check('%s: one play log line per track' % host, lines == ([] if gives is None else [t[2] for t in TRACKS]),
          '%r' % lines)
    heard = os.path.getsize(raw) / 4 / 44100 if os.path.exists(raw) else 0
    check('%s: FFmpeg decoded the audio' % host, heard >= 5, '%.2f s' % heard)


def main():
    for host, gives in HOSTS:
        work = tempfile.mkdtemp(prefix='ombrel-host-')
        try:
            run(work, host, gives)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    print('hosts end to end ' + ('FAILED' if checks_failed() else 'passed'))
    return 1 if checks_failed() else 0


if __name__ == '__main__':
    sys.exit(main())
