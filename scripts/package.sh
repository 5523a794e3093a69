#!/usr/bin/env bash
# Builds the release a broadcaster downloads: dist/ombrel-dsp-1.05.zip with the optimised,
# stripped plug-in DLL, the Japanese guide, the English broadcasters' section of the README, the
# pictures they show and the licence, and beside it dist/ombrel-dsp-1.05-setup.exe, which puts the
# same DLL into Winamp's Plugins folder. The DLL and the setup program are each built twice and
# must come out byte for byte the same; nothing of the stand-ins goes in.
#
# Usage: scripts/package.sh [--out DIR]   (default DIR: dist/ in the source tree)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="$ROOT/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --out) OUT="$2"; shift 2 ;;
    *) echo "usage: scripts/package.sh [--out DIR]" >&2; exit 2 ;;
  esac
done
BUILDS="${RELEASE_BUILD_DIR:-$ROOT/build-release}"
NAME=ombrel-dsp-1.05

bash "$ROOT/scripts/install-deps.sh"

build_release() {
  cmake -S "$ROOT" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686-plugin.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DOMBREL_PLUGIN_ONLY=ON >/dev/null
  cmake --build "$1" --target dsp_ombrel -j"$(nproc)" >/dev/null
}

build_release "$BUILDS/a"
build_release "$BUILDS/b"
first="$BUILDS/a/bin/dsp_ombrel.dll"
second="$BUILDS/b/bin/dsp_ombrel.dll"
if ! cmp -s "$first" "$second"; then
  echo "two release builds of the same sources differ:" >&2
  cmp "$first" "$second" | head -5 >&2 || true
  exit 1
fi
echo "reproducible: two builds give the same $(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -c1-16)…"
bash "$ROOT/tests/check_dll.sh" "$first"

mkdir -p "$OUT"
python3 "$ROOT/scripts/make-package.py" --root "$ROOT" --dll "$first" --zip "$OUT/$NAME.zip" --name "$NAME"

# The setup program from each of the two DLLs: the same bytes again.
bash "$ROOT/scripts/make-installer.sh" "$first" "$BUILDS/a/$NAME-setup.exe"
bash "$ROOT/scripts/make-installer.sh" "$second" "$BUILDS/b/$NAME-setup.exe"
if ! cmp -s "$BUILDS/a/$NAME-setup.exe" "$BUILDS/b/$NAME-setup.exe"; then
  echo "two setup programs from the same DLL differ" >&2
  exit 1
fi
cp "$BUILDS/a/$NAME-setup.exe" "$OUT/$NAME-setup.exe"
echo "$OUT/$NAME-setup.exe: $(stat -c %s "$OUT/$NAME-setup.exe") bytes, sha256 $(sha256sum "$OUT/$NAME-setup.exe" | cut -c1-16)… (reproducible)"
