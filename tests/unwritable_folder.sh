#!/usr/bin/env bash
# The plug-in installed where Windows refuses the user's writes (Program Files): the settings and
# the play log go to the player's settings folder, survive a restart of the player and keep the
# settings an earlier install left beside the DLL. The same steps in a writable folder keep
# everything beside the DLL, and the two settings files differ only in the play log's path.
#
# The folder and its files are made unwritable with the immutable attribute, which the kernel
# enforces for every process, root and the wineserver (which opens files for Wine's processes)
# included; a read-only bind mount in a private mount namespace would not reach the wineserver.
# Usage: tests/unwritable_folder.sh BIN_DIR   (under a running Wine set-up: WINEPREFIX, DISPLAY)
set -u
bin="$1"
# Only root may set the attribute: anyone else gets the run reported as skipped (exit 77).
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: making a folder unwritable for root and the wineserver needs root (chattr +i)"
  exit 77
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}wmvcore=n"
base="$WINEPREFIX/drive_c/Program Files"
fail=0
note() { echo "$*"; }
bad() { echo "FAIL: $*"; fail=1; }

cleanup() {
  for kind in ro rw; do
    [ -d "$base/Winamp-$kind/Plugins" ] && chattr -R -i "$base/Winamp-$kind/Plugins" 2>/dev/null
    rm -rf "$base/Winamp-$kind"
  done
  [ -n "${player_folder:-}" ] && rm -f "$player_folder/dsp_ombrel.ini" "$player_folder/dsp_ombrel_log.txt"
  # What the plug-in recorded about settings that moved out of the Plugins folders above.
  wine reg delete 'HKCU\Software\Ombrel\dsp_ombrel\Moved settings' /f >/dev/null 2>&1 </dev/null
  return 0
}
trap cleanup EXIT

# Where the player stand-in keeps its settings, as the real one does: %APPDATA%\Winamp.
appdata=$(wine cmd /c 'echo %APPDATA%' </dev/null 2>/dev/null | tr -d '\r')
player_folder="$(winepath -u "$appdata" 2>/dev/null)/Winamp"
player_folder="${player_folder//\/\//\/}"
cleanup
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

install() {
  mkdir -p "$base/Winamp-$1/Plugins"
  cp "$bin/dsp_ombrel.dll" "$base/Winamp-$1/Plugins/"
  cp "$bin/ombrel_player.exe" "$bin/ombrel_user.exe" "$bin/wmvcore.dll" "$base/Winamp-$1/"
}

# A first run in the writable folder writes every setting, the default play log among them; then a
# free port for the broadcasts. That file is also what an earlier install left in the other folder.
install rw
(cd "$base/Winamp-rw" && wine ./ombrel_player.exe --plugin 'C:\Program Files\Winamp-rw\Plugins\dsp_ombrel.dll' \
   --quit-after 1 >player.log 2>&1 </dev/null)
first="$base/Winamp-rw/Plugins/dsp_ombrel.ini"
grep -q '^_cPlayLog=C:\\Program Files\\Winamp-rw\\Plugins\\dsp_ombrel_log\.txt' "$first" ||
  bad "first run: the default play log is not set at once: $(grep '^_cPlayLog' "$first" 2>/dev/null)"
python3 "$(dirname "$0")/../scripts/ini-set.py" "$first" Extra _dwPort "$port"
install ro
sed 's/Winamp-rw/Winamp-ro/' "$first" >"$base/Winamp-ro/Plugins/dsp_ombrel.ini"
legacy=$(cat "$base/Winamp-ro/Plugins/dsp_ombrel.ini")

run_case() {
  local kind=$1 root="$base/Winamp-$1" win="C:\\Program Files\\Winamp-$1"
  if [ "$kind" = ro ]; then
    # As under Program Files, neither the folder nor the files in it take writes.
    chattr -R +i "$root/Plugins" || { bad "cannot make $root/Plugins unwritable (chattr +i needs root)"; return; }
    touch "$root/Plugins/probe" 2>/dev/null && bad "the folder still takes files"
    echo >>"$root/Plugins/dsp_ombrel.ini" 2>/dev/null && bad "the settings file still takes writes"
  fi
  rm -f "$player_folder/dsp_ombrel.ini" "$player_folder/dsp_ombrel_log.txt"
  (
    cd "$root" || exit 1
    # The user changes the title attribute in the sheet, then broadcasts over a few track changes.
    wine ./ombrel_player.exe --plugin "$win\\Plugins\\dsp_ombrel.dll" --loop >player.log 2>&1 </dev/null &
    player=$!
    wine ./ombrel_user.exe wait-main 30 post 40006 page 2 type 1027 Survives press-popup 1 \
      post 40002 sleep 7000 post 40008 >user.log 2>&1 </dev/null || echo "user steps failed" >>user.log
    wine ./ombrel_player.exe --close-running >/dev/null 2>&1 </dev/null
    wait $player
    # The player started again: the plug-in reads what the first run saved and saves it again.
    wine ./ombrel_player.exe --plugin "$win\\Plugins\\dsp_ombrel.dll" --quit-after 2 >>player.log 2>&1 </dev/null
  )
  grep -q 'failed' "$root/user.log" && { bad "$kind: $(cat "$root/user.log")"; }

  local settings log unused
  if [ "$kind" = ro ]; then
    settings="$player_folder/dsp_ombrel.ini"; log="$player_folder/dsp_ombrel_log.txt"
    [ "$(cat "$root/Plugins/dsp_ombrel.ini")" = "$legacy" ] || bad "ro: the file beside the DLL changed"
    [ "$(ls "$root/Plugins")" = "$(printf 'dsp_ombrel.dll\ndsp_ombrel.ini')" ] || bad "ro: files appeared beside the DLL"
  else
    settings="$root/Plugins/dsp_ombrel.ini"; log="$root/Plugins/dsp_ombrel_log.txt"
    for unused in dsp_ombrel.ini dsp_ombrel_log.txt; do
      [ -e "$player_folder/$unused" ] && bad "rw: $unused was written into the player's folder"
    done
  fi
  if [ ! -f "$settings" ]; then
    bad "$kind: no settings file at $settings"; cat "$root/player.log"; return
  fi
  grep -q '^_cTitle=Survives' "$settings" || bad "$kind: the title set in the sheet did not survive the restart"
  grep -q "^_dwPort=$port" "$settings" || bad "$kind: the port left beside the DLL was not read"
  local lines
  lines=$(grep -cE '^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} > .+'$'\r''$' "$log" 2>/dev/null)
  note "$kind: settings in $settings, ${lines:-0} play-log lines in $log"
  [ "${lines:-0}" -ge 1 ] || bad "$kind: no play-log line written"
  tr -d '\r' <"$settings" | grep -v '^_cPlayLog=' >"$base/$kind.ini.txt"
  local named
  named=$(sed -n 's/^_cPlayLog=//p' "$settings" | tr -d '\r')
  [ "$(winepath -u "$named" 2>/dev/null)" -ef "$log" ] || bad "$kind: _cPlayLog names $named, not the log written"
}

run_case rw
run_case ro
if ! cmp -s "$base/rw.ini.txt" "$base/ro.ini.txt"; then
  bad "the two settings files differ beyond the play log's path:"; diff "$base/rw.ini.txt" "$base/ro.ini.txt"
fi
rm -f "$base/rw.ini.txt" "$base/ro.ini.txt"

# Starting over: the file in the player's folder deleted, the next start has the defaults and does
# not read the file beside the DLL again.
rm -f "$player_folder/dsp_ombrel.ini"
(cd "$base/Winamp-ro" && wine ./ombrel_player.exe --plugin 'C:\Program Files\Winamp-ro\Plugins\dsp_ombrel.dll' \
   --quit-after 1 >>player.log 2>&1 </dev/null)
if [ ! -f "$player_folder/dsp_ombrel.ini" ]; then
  bad "start over: no settings file written"
elif grep -q "^_dwPort=$port" "$player_folder/dsp_ombrel.ini"; then
  bad "start over: the file beside the DLL was read again"
else
  grep -q '^_dwPort=8008' "$player_folder/dsp_ombrel.ini" || bad "start over: the port is not the default"
  note "start over: the defaults, the file beside the DLL left unread"
fi
[ $fail -eq 0 ] && echo "unwritable folder passed"
exit $fail
