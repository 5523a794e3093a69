#!/usr/bin/env bash
# Builds the setup program around a built plug-in DLL with NSIS (Debian's nsis package). The same
# DLL gives the same setup program, byte for byte: nothing of the build machine or the time goes
# in.
#
# Usage: scripts/make-installer.sh DLL SETUP.exe
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -ne 2 ]; then
  echo "usage: scripts/make-installer.sh DLL SETUP.exe" >&2
  exit 2
fi
command -v makensis >/dev/null || { echo "makensis is missing: run scripts/install-deps.sh" >&2; exit 1; }
dll="$(realpath "$1")"
out="$(realpath -m "$2")"
mkdir -p "$(dirname "$out")"
# makensis reads scripts in the system's code page unless told: the script is UTF-8.
makensis -INPUTCHARSET UTF8 -V2 -DDLL="$dll" -DOUTFILE="$out.tmp" "$ROOT/installer/dsp_ombrel.nsi" >/dev/null
mv "$out.tmp" "$out"
