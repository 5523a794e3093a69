#!/usr/bin/env bash
# Configures and builds the plug-in, the stand-ins and the tests with the mingw-w64 cross compiler.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

# The runtime stand-in's WMA encoder: a minute the first time, nothing after.
BUILD_DIR="$BUILD_DIR" bash "$ROOT/scripts/build-ffmpeg.sh"
cmake -S "$ROOT" -B "$BUILD_DIR" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
