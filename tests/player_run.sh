#!/usr/bin/env bash
# What the run command does, in short: the player stand-in plays the built-in playlist with the
# plug-in from a Plugins folder, quits it after a while, and the settings file is left beside it.
set -u
bin="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Plugins"
cp "$bin/dsp_ombrel.dll" "$work/Plugins/"
cp "$bin/ombrel_player.exe" "$work/"
cp "$bin/wmvcore.dll" "$work/"
cd "$work"

out=$("$(dirname "$0")/../scripts/wine-run.sh" ./ombrel_player.exe --plugin "$work/Plugins/dsp_ombrel.dll" \
      --pace fast --loop --verify --quit-after 4 2>&1)
status=$?
printf '%s\n' "$out"
fail=0
[ $status -eq 0 ] || { echo "player exited with $status"; fail=1; }
printf '%s\n' "$out" | grep -q 'Ombrel DSP plugin v1.05' || { echo "the plug-in's description was not reported"; fail=1; }

ini="$work/Plugins/dsp_ombrel.ini"
if [ ! -f "$ini" ]; then
  echo "no dsp_ombrel.ini beside the DLL"; fail=1
else
  keys=$(grep -c '=' "$ini")
  sections=$(grep '^\[' "$ini" | tr -d '\r' | tr '\n' ' ')
  echo "settings: $keys keys, sections: $sections"
  [ "$keys" -eq 32 ] || { echo "expected 32 keys"; fail=1; }
  [ "$sections" = "[AudioCodec] [Extra] [PeerCast] [Script] " ] || { echo "unexpected sections"; fail=1; }
fi
[ $fail -eq 0 ] && echo "player run passed"
exit $fail
