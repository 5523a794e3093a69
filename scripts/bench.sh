#!/usr/bin/env bash
# The audio-path benchmark: builds, then runs ombrel_bench.exe under Wine (the project's prefix,
# Xvfb, the runtime stand-in beside the executable) and prints its table and its OMBREL_BENCH
# summary line. Extra arguments go to the program, for example --stall-blocks 2000000.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

source "$ROOT/scripts/wine-env.sh"
trap ombrel_stop_wine EXIT
ombrel_start_wine
bash "$ROOT/scripts/wine-run.sh" "$BUILD_DIR/bin/ombrel_bench.exe" "$@"
