#!/usr/bin/env bash
# Installs what building and running the plug-in under Wine needs on Debian 12.
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686)
# The plug-in DLL itself is built with the win32 thread model, whose runtime loads on Windows XP.
command -v i686-w64-mingw32-g++-win32 >/dev/null || need+=(g++-mingw-w64-i686-win32)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
{ [ -x /usr/lib/wine/wine ] || [ -x /usr/bin/wine ]; } && dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine wine32:i386)
command -v Xvfb >/dev/null || need+=(xvfb xauth)
command -v ffmpeg >/dev/null || need+=(ffmpeg)
# VLC and MPlayer listen beside FFmpeg in the listeners' test, each with its own MMS clients and
# ASF demultiplexer: VLC's player and base plug-ins (MMS access, ASF demultiplexer, FFmpeg
# decoders, file audio output, Lua interfaces) and MPlayer.
command -v cvlc >/dev/null || need+=(vlc-bin vlc-plugin-base)
command -v mplayer >/dev/null || need+=(mplayer)
# The FFmpeg proof checks what the listener decoded with a little Python.
command -v python3 >/dev/null || need+=(python3)
[ -f /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf ] || need+=(fonts-ipafont-gothic)
# Wine draws the title bars' buttons with its Marlett font.
[ -f /usr/share/wine/fonts/marlett.ttf ] || need+=(fonts-wine)
command -v locale-gen >/dev/null || need+=(locales)
# The PeerCast update's JSON-RPC is written and read with nlohmann/json (header-only).
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
# The release's setup program is built with NSIS.
command -v makensis >/dev/null || need+=(nsis)
# The runtime stand-in's WMA encoder is built from Debian's FFmpeg source package
# (scripts/build-ffmpeg.sh): apt-get source needs dpkg-source and a deb-src entry for the archive.
command -v dpkg-source >/dev/null || need+=(dpkg-dev xz-utils)
# The router test: a real UPnP router (miniupnpd with its nftables back end), nftables and
# iproute2 for its network namespaces, and miniupnpc's upnpc as another PC of the LAN.
[ -x /usr/sbin/miniupnpd ] || need+=(miniupnpd miniupnpd-nftables)
command -v nft >/dev/null || need+=(nftables)
command -v ip >/dev/null || need+=(iproute2)
command -v upnpc >/dev/null || need+=(miniupnpc)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

update=0
if ! grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  # The same archives, suites and components as the binary entries, for source packages.
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -n '/^#/d; s/^Types:.*$/Types: deb-src/; p' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/ombrel-deb-src.sources >/dev/null
  else
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list |
      $SUDO tee /etc/apt/sources.list.d/ombrel-deb-src.list >/dev/null
  fi
  update=1
fi

if [ ${#need[@]} -gt 0 ] || [ $update -eq 1 ]; then
  # wine32 is an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  if [ ${#need[@]} -gt 0 ]; then
    # miniupnpd's package would start its service and ask which interface is the WAN: the tests
    # run it themselves, so no service is started (policy-rc.d) and debconf asks nothing.
    policy=/usr/sbin/policy-rc.d
    own_policy=0
    if [ ! -e "$policy" ]; then
      printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
      $SUDO chmod +x "$policy"
      own_policy=1
    fi
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" ||
      { [ $own_policy -eq 0 ] || $SUDO rm -f "$policy"; exit 1; }
    [ $own_policy -eq 0 ] || $SUDO rm -f "$policy"
  fi
fi

# Wine takes its ANSI code page from the Unix locale: the code page 932 tests run with
# LANG=ja_JP.UTF-8, and the mixed-locale tests with LANG=en_US.UTF-8 LC_CTYPE=ja_JP.UTF-8 (a
# Japanese system with an English format locale). Both locales must exist.
for wanted in ja_JP en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^${wanted}\.utf-\?8$"; then
    $SUDO sed -i "s/^# *${wanted}.UTF-8 UTF-8/${wanted}.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^${wanted}.UTF-8 UTF-8" /etc/locale.gen || echo "${wanted}.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
done
