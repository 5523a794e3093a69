#!/usr/bin/env bash
# The benchmark with tiny counts: it must run to its end and print its summary line.
set -euo pipefail
exe="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$(bash "$here/../../scripts/wine-run.sh" "$exe" --blocks 2000 --stall-blocks 20000 --stops 2 --hung-stops 0 \
  --meter-passes 50 --meter-seconds 2 --encode-seconds 2 --conversion-blocks 2000)"
printf '%s\n' "$out"
grep -q '^OMBREL_BENCH .*floor_median_ns=[0-9]' <<<"$out"
