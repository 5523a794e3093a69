#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs the whole CTest suite under Wine.
# Extra arguments go to ctest (for example -R settings).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

source "$ROOT/scripts/wine-env.sh"
trap ombrel_stop_wine EXIT
ombrel_start_wine
ctest --test-dir "$BUILD_DIR" --output-on-failure "$@"
