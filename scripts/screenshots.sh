#!/usr/bin/env bash
# Pictures of the plug-in as a Japanese user sees it (code page 932, MS UI Gothic mapped to IPA
# Gothic), taken under Xvfb from a real run: the player stand-in plays with the plug-in and the
# runtime stand-in, and the user stand-in (ombrel_user.exe) clicks through the windows.
#
# Usage: scripts/screenshots.sh OUT_DIR     (builds first; writes OUT_DIR/*.png)
#        scripts/screenshots.sh --bin BIN_DIR OUT_DIR   (use built binaries; the test command)
# Refresh the README's pictures with: scripts/screenshots.sh docs
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
bin=
if [ "${1:-}" = --bin ]; then bin="$2"; shift 2; fi
out="${1:?usage: screenshots.sh [--bin BIN_DIR] OUT_DIR}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

own_wine=0
if [ -z "$bin" ]; then
  bash "$ROOT/scripts/install-deps.sh"
  bash "$ROOT/scripts/build.sh"
  bin="$BUILD_DIR/bin"
fi
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  source "$ROOT/scripts/wine-env.sh"
  ombrel_start_wine
  own_wine=1
fi
export WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}wmvcore=n"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# Installed in a folder of its own on drive C:, which the user may write, so the play log's path
# the 出力 page shows is the plug-in's own default and short enough to be read whole in the
# picture (under Program Files, Windows would move it to the player's settings folder).
work="$WINEPREFIX/drive_c/Winamp"
win_work='C:\Winamp'
rm -rf "$work"
mkdir -p "$work"
player=
blocker=
finish() {
  [ -n "$blocker" ] && kill "$blocker" 2>/dev/null
  if [ -n "$player" ] && kill -0 "$player" 2>/dev/null; then
    (cd "$work" && wine ./ombrel_player.exe --close-running >/dev/null 2>&1 </dev/null) || true
    sleep 3
    kill "$player" 2>/dev/null || true
  fi
  rm -rf "$work"
  [ $own_wine = 1 ] && ombrel_stop_wine
  return 0
}
trap finish EXIT

mkdir -p "$work/Plugins"
cp "$bin/ombrel_player.exe" "$bin/ombrel_user.exe" "$bin/wmvcore.dll" "$work/"
cp "$bin/dsp_ombrel.dll" "$work/Plugins/"
plugin="$win_work\\Plugins\\dsp_ombrel.dll"
ini="$work/Plugins/dsp_ombrel.ini"
cd "$work"
# The plug-in's own defaults: it writes every setting when the player unloads it. Then title
# streaming on and a channel name, as a broadcaster sets them; the default port when it is free.
wine ./ombrel_player.exe --plugin "$plugin" --quit-after 1 >player.log 2>&1 </dev/null
grep -q '^_dwMaxClient=' "$ini" || { echo "the plug-in wrote no settings file"; cat player.log; exit 1; }
port=8008
if ! python3 -c 'import socket; socket.socket().bind(("127.0.0.1", 8008))' 2>/dev/null; then
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  python3 "$ROOT/scripts/ini-set.py" "$ini" Extra _dwPort "$port"
fi
python3 "$ROOT/scripts/ini-set.py" "$ini" Script _fEnable true
python3 "$ROOT/scripts/ini-set.py" "$ini" PeerCast _cChannel 'Ombrel Radio'

# A track with Japanese tags, as a broadcaster's playlist has: its title is what the main window's
# script field shows. Tags in UTF-8 (marked so for the player stand-in), which a 5.x player hands
# over in UTF-16.
python3 - track.wav <<'PY'
import math, struct, sys
rate, seconds = 44100, 30
frames = b''.join(struct.pack('<hh', int(9000 * math.sin(2 * math.pi * 392 * i / rate)),
                              int(7000 * math.sin(2 * math.pi * 494 * i / rate))) for i in range(rate * seconds))
def chunk(cid, body):
    return cid + struct.pack('<I', len(body)) + body + (b'\0' if len(body) % 2 else b'')
info = b'INFO' + b''.join(chunk(cid, text.encode('utf-8') + b'\0') for cid, text in (
    (b'INAM', '夜明けのドライブ'), (b'IART', 'ひだまり楽団'), (b'IPRD', 'ひだまりの歌'), (b'IENC', 'UTF-8')))
body = b'WAVE' + chunk(b'fmt ', struct.pack('<HHIIHH', 1, 2, rate, rate * 4, 4, 16)) + \
    chunk(b'LIST', info) + chunk(b'data', frames)
open(sys.argv[1], 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
PY

wine ./ombrel_player.exe --plugin "$plugin" --loop track.wav >player.log 2>&1 </dev/null &
player=$!

user() { wine ./ombrel_user.exe "$@" </dev/null; }
status=0
# Idle with the green start button; broadcasting, the meter moving and the title shown; then
# stopped, the five pages of the sheet and the About box.
user wait-main 30 sleep 1500 capture-main main-window-idle.bmp post 40002 sleep 6000 \
  capture-main main-window.bmp post 40008 sleep 500 \
  post 40006 page 0 capture-popup settings-1-codec.bmp page 1 capture-popup settings-2-output.bmp \
  page 2 capture-popup settings-3-attributes.bmp page 3 capture-popup settings-4-script.bmp \
  page 4 capture-popup settings-5-peercast.bmp press-popup 2 \
  post 40013 capture-popup about-box.bmp press-popup 1 || status=1
# A start that fails: something else holds the port.
python3 -c "
import socket, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
for _ in range(100):
    try:
        s.bind(('127.0.0.1', $port)); break
    except OSError:
        time.sleep(0.1)
s.listen(1)
open('blocked', 'w').close()
time.sleep(60)" &
blocker=$!
for _ in $(seq 1 100); do [ -e blocked ] && break; sleep 0.1; done
user post 40002 capture-box "Ombrel DSP plugin v1.05" start-failed.bmp \
  press-box "Ombrel DSP plugin v1.05" 2 || status=1

for bmp in *.bmp; do
  [ -f "$bmp" ] || continue
  ffmpeg -nostdin -v error -y -i "$bmp" "$out/${bmp%.bmp}.png" || status=1
done
# Every picture is there and shows something (not one flat colour).
for name in main-window-idle main-window settings-1-codec settings-2-output settings-3-attributes settings-4-script \
            settings-5-peercast about-box start-failed; do
  if ! python3 - "$work/$name.bmp" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
offset, width, height = struct.unpack_from('<I', data, 10)[0], *struct.unpack_from('<ii', data, 18)
colours = {data[i:i + 3] for i in range(offset, len(data) - 2, 3)}
print('%s: %dx%d, %d colours' % (sys.argv[1].split('/')[-1], width, abs(height), len(colours)))
sys.exit(0 if width > 50 and abs(height) > 50 and len(colours) > 8 else 1)
PY
  then
    echo "missing or blank picture: $name"; status=1
  fi
done
[ $status = 0 ] || { echo "--- player ---"; cat player.log; }
echo "pictures in $out: $(cd "$out" && ls *.png 2>/dev/null | tr '\n' ' ')"
exit $status
