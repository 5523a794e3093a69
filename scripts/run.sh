#!/usr/bin/env bash
# The run command: builds, then starts the player stand-in with the plug-in and the runtime
# stand-in under Wine, plays the built-in tagged playlist in a loop with title streaming on,
# presses the main window's 配信開始 and prints where to listen. The first run streams the
# runtime's default format (WMA v2); later runs keep what the settings sheet chose. Runs until
# interrupted (Ctrl-C), which closes the player as its close box would: the plug-in quits and
# saves its settings.
#
# Usage: scripts/run.sh [--seconds N] [--screenshot FILE.png] [--peercast PORT [--channel NAME]]
#                       [--record DIR] [--upnp] [player options...]
#   --seconds N          quit after N seconds instead of waiting for Ctrl-C
#   --screenshot FILE    write a PNG of the main window while it broadcasts (after 8 s)
#   --peercast PORT      switch on the PeerCast update and the relay channel option against the
#                        node at 127.0.0.1:PORT (kept in the settings file for later runs)
#   --channel NAME       the channel's name (default "Ombrel Radio"); with --peercast
#   --record DIR         record the broadcast to DIR/ombrel-YYYYMMDD-HHMMSS.wma (without it the
#                        run records nothing)
#   --upnp               switch on the output page's UPnP option: the broadcast opens the router's
#                        port and the monitor shows the address listeners outside use (kept in
#                        the settings file for later runs)
#   player options       passed on (see: wine build/run/ombrel_player.exe --help)
# The plug-in lives in build/run/Plugins, where it keeps dsp_ombrel.ini between runs.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

seconds=0
screenshot=
peercast=
channel="Ombrel Radio"
record=
upnp=0
player_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --screenshot) screenshot="$2"; shift 2 ;;
    --peercast) peercast="$2"; shift 2 ;;
    --channel) channel="$2"; shift 2 ;;
    --record) record="$2"; shift 2 ;;
    --upnp) upnp=1; shift ;;
    *) player_args+=("$1"); shift ;;
  esac
done
[ -n "$screenshot" ] && screenshot="$(cd "$(dirname "$screenshot")" && pwd)/$(basename "$screenshot")"
[ -n "$record" ] && { mkdir -p "$record"; record="$(cd "$record" && pwd)"; }

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

RUN_DIR="$BUILD_DIR/run"
mkdir -p "$RUN_DIR/Plugins"
cp "$BUILD_DIR/bin/ombrel_player.exe" "$RUN_DIR/"
cp "$BUILD_DIR/bin/wmvcore.dll" "$RUN_DIR/"
cp "$BUILD_DIR/bin/dsp_ombrel.dll" "$RUN_DIR/Plugins/"
ini="$RUN_DIR/Plugins/dsp_ombrel.ini"

source "$ROOT/scripts/wine-env.sh"
# As a Japanese broadcaster's machine runs it: code page 932.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# The player's console lines hold the playlist's code page 932 titles: shown as UTF-8.
readable() { python3 -u -c '
import sys
for line in sys.stdin.buffer:
    sys.stdout.write(line.decode("cp932", "replace"))
    sys.stdout.flush()'; }
player=
cleanup() {
  if [ -n "$player" ] && kill -0 "$player" 2>/dev/null; then
    (cd "$RUN_DIR" && wine ./ombrel_player.exe --close-running >/dev/null 2>&1 </dev/null) || true
    wait "$player" 2>/dev/null || true
  fi
  ombrel_stop_wine
}
trap cleanup EXIT
trap 'exit 130' INT TERM
ombrel_start_wine

cd "$RUN_DIR"
# A first run starts from the plug-in's own defaults (5 listeners, its codec and buffer): it
# writes every setting when the player unloads it.
if [ ! -f "$ini" ]; then
  wine ./ombrel_player.exe --plugin "$RUN_DIR/Plugins/dsp_ombrel.dll" --quit-after 1 </dev/null >/dev/null 2>&1 || true
fi
# Title streaming on; every other setting stays as the last run (or the settings sheet) left it.
python3 "$ROOT/scripts/ini-set.py" "$ini" Script _fEnable true
grep -q '^_cFormat=[^[:space:]]' "$ini" || python3 "$ROOT/scripts/ini-set.py" "$ini" Script _cFormat '%ARTIST% - %TITLE%'
if [ -n "$peercast" ]; then
  case "$peercast" in
    ''|*[!0-9]*) echo "--peercast takes a port number" >&2; exit 2 ;;
  esac
  python3 "$ROOT/scripts/ini-set.py" "$ini" PeerCast _fEnable true
  python3 "$ROOT/scripts/ini-set.py" "$ini" PeerCast _dwPort "$peercast"
  python3 "$ROOT/scripts/ini-set.py" "$ini" PeerCast _fRelayChannel true
  # The plug-in reads the name in the system code page (932 here).
  python3 "$ROOT/scripts/ini-set.py" "$ini" PeerCast _cChannel "$(printf %s "$channel" | iconv -f UTF-8 -t CP932)"
  echo "PeerCast node: 127.0.0.1:$peercast, relay channel \"$channel\" made at the start and ended at the stop"
fi
if [ -n "$record" ]; then
  python3 "$ROOT/scripts/ini-set.py" "$ini" Extra _fArchive true
  # Wine's drive Z: is the Linux root; the folder is read in the system code page (932 here).
  python3 "$ROOT/scripts/ini-set.py" "$ini" Extra _cArchiveFolder \
    "$(printf 'Z:%s' "$record" | tr / '\\' | iconv -f UTF-8 -t CP932)"
  echo "Recording to $record"
else
  python3 "$ROOT/scripts/ini-set.py" "$ini" Extra _fArchive false
fi
if [ "$upnp" = 1 ]; then
  python3 "$ROOT/scripts/ini-set.py" "$ini" Extra _fPortMapping true
  echo "UPnP: the broadcast maps its port on the router; the monitor shows the listeners' address"
fi
port=$(sed -n '/^\[Extra\]/,/^\[/s/^_dwPort=\([0-9]*\).*/\1/p' "$ini" | head -n1)
port="${port:-8008}"

args=(--plugin "$RUN_DIR/Plugins/dsp_ombrel.dll" --loop --command 40002@1 --watch-script)
[ "$seconds" != 0 ] && args+=(--quit-after "$seconds")
[ -n "$screenshot" ] && args+=(--screenshot "main-window.bmp@8")
echo "Player stand-in with the plug-in: $RUN_DIR (settings: Plugins/dsp_ombrel.ini)"
wine ./ombrel_player.exe "${args[@]}" "${player_args[@]}" </dev/null > >(readable) 2>&1 &
player=$!

for _ in $(seq 1 300); do
  kill -0 "$player" 2>/dev/null || break
  if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null; then
    echo
    echo "Broadcasting on port $port. Listen with:"
    echo "  ffplay mmsh://127.0.0.1:$port/"
    echo "  ffprobe mmsh://127.0.0.1:$port/"
    echo "  mplayer mmsh://127.0.0.1:$port/"
    echo "  (Windows Media Player or VLC: http://127.0.0.1:$port/)"
    [ "$seconds" = 0 ] && echo "Press Ctrl-C to stop."
    echo
    break
  fi
  sleep 0.1
done

status=0
wait "$player" || status=$?
player=
if [ -n "$screenshot" ]; then
  if [ -f main-window.bmp ] && ffmpeg -nostdin -v error -y -i main-window.bmp "$screenshot"; then
    echo "Screenshot: $screenshot"
  else
    echo "No screenshot was written"
  fi
fi
echo "Settings file:"
readable <"$ini" 2>/dev/null || echo "(none written)"
exit $status
