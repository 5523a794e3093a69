#!/usr/bin/env bash
# Builds miniupnpc (BSD-3-Clause), the UPnP IGD client the plug-in maps the router's port with,
# as a static library for i686-w64-mingw32 from Debian's source package, for Windows XP and
# later. The result is kept in the build tree ($BUILD_DIR/miniupnpc/prefix); a second run with
# the same options does nothing.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
WORK="$BUILD_DIR/miniupnpc"
PREFIX="$WORK/prefix"
# The plug-in's own compiler (win32 thread model); _WIN32_WINNT 0x0501 keeps every import on XP.
# Changing these options rebuilds the library.
options=(
  -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=i686
  -DCMAKE_C_COMPILER=i686-w64-mingw32-gcc-win32 -DCMAKE_RC_COMPILER=i686-w64-mingw32-windres
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib
  -DUPNPC_BUILD_STATIC=ON -DUPNPC_BUILD_SHARED=OFF -DUPNPC_BUILD_TESTS=OFF -DUPNPC_BUILD_SAMPLE=OFF
)
stamp="$PREFIX/.options"
if [ -f "$PREFIX/lib/libminiupnpc.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "${options[*]}" ]; then
  exit 0
fi

mkdir -p "$WORK"
src=$(ls -d "$WORK"/miniupnpc-*/ 2>/dev/null | head -n1 || true)
if [ -z "$src" ]; then
  # install-deps.sh adds the archive's deb-src entry this needs.
  (cd "$WORK" && apt-get source -qq miniupnpc >/dev/null 2>&1)
  src=$(ls -d "$WORK"/miniupnpc-*/ | head -n1)
fi

echo "Building miniupnpc (once per build tree)..."
rm -rf "$WORK/obj" "$PREFIX"
mkdir -p "$WORK/obj"
cmake -S "$src" -B "$WORK/obj" "${options[@]}" >"$WORK/configure.log" 2>&1 ||
  { tail -n 30 "$WORK/configure.log"; exit 1; }
# Two cores at most: the machines running this are shared.
cmake --build "$WORK/obj" -j2 >"$WORK/make.log" 2>&1 || { tail -n 30 "$WORK/make.log"; exit 1; }
cmake --install "$WORK/obj" >>"$WORK/make.log" 2>&1
echo "${options[*]}" >"$stamp"
