#!/usr/bin/env bash
# The run command: builds, then starts the player stand-in with the plug-in loaded, playing the
# built-in playlist. Usage: scripts/run.sh [SECONDS] [player options...]
#   SECONDS  how long the player plays before it quits the plug-in (default 60; 0 = until its
#            window is closed). Further options go to the player (see ombrel_player.exe --help).
# The plug-in lives in build/run/Plugins, where it keeps dsp_ombrel.ini between runs.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
SECONDS_TO_RUN="${1:-60}"
shift || true

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

RUN_DIR="$BUILD_DIR/run"
mkdir -p "$RUN_DIR/Plugins"
cp "$BUILD_DIR/bin/ombrel_player.exe" "$RUN_DIR/"
cp "$BUILD_DIR/bin/wmvcore.dll" "$RUN_DIR/"
cp "$BUILD_DIR/bin/dsp_ombrel.dll" "$RUN_DIR/Plugins/"

source "$ROOT/scripts/wine-env.sh"
trap ombrel_stop_wine EXIT
ombrel_start_wine

args=(--plugin "$RUN_DIR/Plugins/dsp_ombrel.dll" --loop)
[ "$SECONDS_TO_RUN" != 0 ] && args+=(--quit-after "$SECONDS_TO_RUN")
cd "$RUN_DIR"
echo "Player stand-in with the plug-in: $RUN_DIR (settings: Plugins/dsp_ombrel.ini)"
status=0
wine ./ombrel_player.exe "${args[@]}" "$@" || status=$?
echo "Settings file:"
cat "$RUN_DIR/Plugins/dsp_ombrel.ini" 2>/dev/null || echo "(none written)"
exit $status
