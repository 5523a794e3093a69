#!/usr/bin/env bash
# The long fuzz run on demand: builds, then runs ombrel_fuzz under Wine for SECONDS per target
# (default 600) from SEED (default: taken from the clock and printed), first under code page
# 1252, then under 932. Exit code 0 only when every property held in both.
#
# Usage: scripts/fuzz.sh [SECONDS] [SEED]
# One failing case again: wine build/bin/ombrel_fuzz.exe --target NAME --case 0x... (printed
# with the failure; run it under the same LANG).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
seconds="${1:-600}"
seed="${2:-}"

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

source "$ROOT/scripts/wine-env.sh"
trap ombrel_stop_wine EXIT
ombrel_start_wine

args=(--seconds "$seconds")
[ -n "$seed" ] && args+=(--seed "$seed")
status=0
LANG=C.UTF-8 wine "$BUILD_DIR/bin/ombrel_fuzz.exe" "${args[@]}" || status=1
LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine "$BUILD_DIR/bin/ombrel_fuzz.exe" "${args[@]}" || status=1
exit $status
