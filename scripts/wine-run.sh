#!/usr/bin/env bash
# Runs a Windows executable under Wine with the project's prefix (CTest's emulator).
set -e
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; run the tests through scripts/test.sh" >&2
  exit 2
fi
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# The runtime stand-in, wmvcore.dll beside the executable, is loaded in place of Wine's own.
case "${WINEDLLOVERRIDES:-}" in
  *wmvcore*) ;;
  *) export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}wmvcore=n" ;;
esac
# Wine must not touch a terminal: a test run in a background job would be stopped by it.
exec wine "$@" </dev/null
