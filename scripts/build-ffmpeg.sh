#!/usr/bin/env bash
# Builds the minimal static FFmpeg the runtime stand-in encodes with: the WMA v2 encoder and
# decoder and libswresample, from Debian's source package, for i686-w64-mingw32. Configured
# without GPL or non-free parts, so the libraries are LGPL 2.1 or later.
# The result is kept in the build tree ($BUILD_DIR/ffmpeg/prefix); a second run does nothing.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
WORK="$BUILD_DIR/ffmpeg"
PREFIX="$WORK/prefix"
# Configure options: changing them rebuilds the libraries.
options=(
  --prefix="$PREFIX" --enable-cross-compile --target-os=mingw32 --arch=x86
  --cross-prefix=i686-w64-mingw32- --cc=i686-w64-mingw32-gcc-posix
  --enable-static --disable-shared --disable-programs --disable-doc --disable-network
  --disable-autodetect --disable-debug --disable-x86asm --disable-everything
  --disable-avformat --disable-avdevice --disable-avfilter --disable-swscale --disable-postproc
  --enable-encoder=wmav2 --enable-decoder=wmav2 --enable-swresample
)
stamp="$PREFIX/.options"
if [ -f "$PREFIX/lib/libavcodec.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "${options[*]}" ]; then
  exit 0
fi

mkdir -p "$WORK"
src=$(ls -d "$WORK"/ffmpeg-*/ 2>/dev/null | head -n1 || true)
if [ -z "$src" ]; then
  # install-deps.sh adds the archive's deb-src entry this needs.
  (cd "$WORK" && apt-get source -qq ffmpeg >/dev/null)
  src=$(ls -d "$WORK"/ffmpeg-*/ | head -n1)
fi

echo "Building FFmpeg's WMA v2 codec and libswresample (once per build tree)..."
rm -rf "$WORK/obj" "$PREFIX"
mkdir -p "$WORK/obj"
cd "$WORK/obj"
"$src/configure" "${options[@]}" >configure.log 2>&1 || { tail -n 30 configure.log; exit 1; }
# Two cores at most: the machines running this are shared.
make -j2 >make.log 2>&1 || { tail -n 30 make.log; exit 1; }
make install >>make.log 2>&1
echo "${options[*]}" >"$stamp"
