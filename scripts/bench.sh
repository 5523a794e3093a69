#!/usr/bin/env bash
# The audio-path benchmark: builds, then runs ombrel_bench.exe under Wine (the project's prefix,
# Xvfb, the runtime stand-in beside the executable) and prints its table and its OMBREL_BENCH
# summary line. Extra arguments go to the program, for example --stall-blocks 2000000.
# The places where long calls were sampled (module+offset) are given their function and line
# when the module is one of ours.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

# A demangled name without template arguments, parameter lists or folders.
shorten() {
  sed -E -e ':a' -e 's/<[^<>]*>//g' -e 'ta' -e ':b' -e 's/\([^()]*\)//g' -e 'tb' -e 's# /[^ ]*/# #'
}

# "name.dll+0x1a2b" -> "name.dll+0x1a2b[Function file.cpp:12]" for the build's own binaries.
name_places() {
  local line token module offset file base symbol
  while IFS= read -r line; do
    if [[ "$line" =~ ^\ +[0-9]+\ at\  ]]; then
      for token in $(grep -oE '[A-Za-z0-9_.-]+\.(dll|exe)\+0x[0-9a-f]+' <<<"$line" | sort -u); do
        module="${token%%+*}"
        offset="${token##*+}"
        file="$BUILD_DIR/bin/$module"
        [ -f "$file" ] || continue
        base="$(i686-w64-mingw32-objdump -p "$file" | awk '/ImageBase/ {print $2}')"
        # The last pair of an inline chain is the function the address really lies in.
        symbol="$(i686-w64-mingw32-addr2line -f -i -e "$file" "$(printf '0x%x' $((0x$base + offset)))" |
          tail -n 2 | paste -sd' ' | sed -E 's/^(Z[NSt])/_\1/' | c++filt | shorten)"
        line="${line//$token/$token[$symbol]}"
      done
    fi
    printf '%s\n' "$line"
  done
}

source "$ROOT/scripts/wine-env.sh"
trap ombrel_stop_wine EXIT
ombrel_start_wine
bash "$ROOT/scripts/wine-run.sh" "$BUILD_DIR/bin/ombrel_bench.exe" "$@" | name_places
