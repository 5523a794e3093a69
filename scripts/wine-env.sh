# Sourced by the run and test commands: a Wine prefix inside the build folder,
# a display (Xvfb when none is set) and one persistent wineserver.
# Expects BUILD_DIR to be set.

export WINEPREFIX="${WINEPREFIX:-$BUILD_DIR/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko prompts while the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;wmvcore=n}"

ombrel_start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 160); do
    # A lock left by an Xvfb that no longer runs does not hold its number.
    if [ -e "/tmp/.X${n}-lock" ] && ! kill -0 "$(tr -dc 0-9 <"/tmp/.X${n}-lock")" 2>/dev/null; then
      rm -f "/tmp/.X${n}-lock" "/tmp/.X11-unix/X${n}"
    fi
    if [ ! -e "/tmp/.X${n}-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      OMBREL_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
      done
      echo "Xvfb did not start on :$n" >&2
      return 1
    fi
  done
  echo "no free display number for Xvfb" >&2
  return 1
}

ombrel_start_wine() {
  ombrel_start_display || return 1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating Wine prefix in $WINEPREFIX ..."
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Wine 8 as Debian ships it looks for its own fonts under a path it cannot open, so the title
  # bars' buttons, drawn with Marlett, would show letters: the prefix gets the fonts of Debian's
  # fonts-wine in its Fonts folder, which Wine does read.
  local font
  for font in /usr/share/wine/fonts/*.ttf; do
    [ -e "$font" ] && [ ! -e "$WINEPREFIX/drive_c/windows/Fonts/${font##*/}" ] &&
      ln -s "$font" "$WINEPREFIX/drive_c/windows/Fonts/${font##*/}"
  done
  # One wineserver for the whole run, so test executables start quickly.
  wineserver -p >/dev/null 2>&1 || true
  # The first Wine process of a server starts its system services, which live as long as the
  # server and inherit that process's standard streams. Start them here with nothing attached:
  # otherwise they would hold CTest's output pipes open and CTest would wait for them forever.
  # That first process also maps the dialogs' font, MS UI Gothic, to the IPA P Gothic font the
  # set-up installs (proportional, as MS UI Gothic is), so Japanese text renders as a Japanese
  # user sees it.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic' /f \
    >/dev/null 2>&1 </dev/null || true
  # Xvfb has no window manager: Wine would wait 2 s for one each time a window is hidden.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
}

ombrel_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${OMBREL_XVFB_PID:-}" ]; then
    kill "$OMBREL_XVFB_PID" 2>/dev/null || true
  fi
}
