#!/usr/bin/env bash
# The soak run on demand: builds, then runs ombrel_soak.exe under Wine for HOURS of stream time
# (default 24), fed faster than real time, and prints its report and OMBREL_SOAK summary line.
# Exits non-zero when the audio was not continuous or something was left behind. Arguments
# after HOURS go to the program, for example --ui-every-ms 5000.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
HOURS="${1:-24}"
shift || true

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

source "$ROOT/scripts/wine-env.sh"
trap ombrel_stop_wine EXIT
ombrel_start_wine
bash "$ROOT/scripts/wine-run.sh" "$BUILD_DIR/bin/ombrel_soak.exe" --hours "$HOURS" "$@"
