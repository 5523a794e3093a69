#!/usr/bin/env bash
# The FFmpeg proof: wmvcore_serve (the multiplexer and both sinks, under Wine) serves a known
# 44.1 kHz stereo 16-bit signal with a script stream and nine attributes; FFmpeg, which nobody
# here wrote, is the listener:
#   ffprobe -v error -show_streams -show_format mmsh://127.0.0.1:PORT/
#   ffmpeg -v error -i mmsh://127.0.0.1:PORT/ -map 0:a -t 2 -f s16le out.raw   (bit-exact check)
#   ffprobe on the file sink's file, and its script packets with -show_packets -show_data.
set -u
serve="$1"
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export WINEARCH=win32 WINEDEBUG=-all
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }

winfile="Z:$(printf '%s' "$work/archive.asf" | sed 's|/|\\|g')"
wine "$serve" 0 12 44100 2 "$winfile" >"$work/serve.log" 2>&1 </dev/null &
pid=$!
for _ in $(seq 1 100); do grep -q READY "$work/serve.log" && break; sleep 0.1; done
port=$(awk '/READY/{print $2}' "$work/serve.log" | tr -d '\r')
[ -n "$port" ] || { echo "the server did not start"; cat "$work/serve.log"; exit 1; }
echo "serving on $port"

echo "\$ ffprobe -v error -show_streams -show_format mmsh://127.0.0.1:$port/"
probe=$(timeout 30 ffprobe -v error -show_streams -show_format "mmsh://127.0.0.1:$port/" 2>&1)
printf '%s\n' "$probe" | grep -E '^(codec_name|codec_type|sample_rate|channels|bits_per_sample|nb_streams|format_name|TAG:)'
check "one audio stream" '[ "$(printf "%s\n" "$probe" | grep -c "^codec_type=audio")" -eq 1 ]'
check "one data stream for the script" '[ "$(printf "%s\n" "$probe" | grep -c "^codec_type=data")" -eq 1 ]'
check "pcm_s16le" 'printf "%s\n" "$probe" | grep -q "^codec_name=pcm_s16le"'
check "44100 Hz" 'printf "%s\n" "$probe" | grep -q "^sample_rate=44100"'
check "two channels" 'printf "%s\n" "$probe" | grep -q "^channels=2"'
for tag in "title=Proof Title" "artist=Proof Author" "copyright=Proof Copyright" \
           "comment=Proof Description" "genre=Proof Genre" "album=Proof Album" \
           "composer=Proof Composer" "encoded_by=Proof EncodedBy" "publisher=Proof Publisher"; do
  check "tag $tag" 'printf "%s\n" "$probe" | grep -qx "TAG:$tag"'
done

echo "\$ ffmpeg -v error -i mmsh://127.0.0.1:$port/ -map 0:a -t 2 -f s16le out.raw"
timeout 30 ffmpeg -nostdin -v error -i "mmsh://127.0.0.1:$port/" -map 0:a -t 2 -f s16le "$work/out.raw"
echo "ffmpeg exited with $?, $(stat -c %s "$work/out.raw" 2>/dev/null) bytes"
compare=$(python3 - "$work/out.raw" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
frames = len(data) // 4
def sample(n, c):
    mixed = ((n * 2654435761 + c * 40503) & 0xFFFFFFFF) >> 16
    return (mixed ^ (n if c else 0)) & 0xFFFF
got = struct.unpack('<%dH' % (frames * 2), data[:frames * 4])
if frames < 44100:
    print('short: %d frames' % frames); sys.exit(1)
start = next((n for n in range(44100 * 12) if sample(n, 0) == got[0] and sample(n, 1) == got[1]), None)
if start is None:
    print('first frame not in the signal'); sys.exit(1)
bad = sum(1 for i in range(frames) if got[2*i] != sample(start + i, 0) or got[2*i+1] != sample(start + i, 1))
print('%d frames from frame %d, %d differ' % (frames, start, bad))
sys.exit(1 if bad else 0)
PY
)
status=$?
echo "$compare"
check "decoded audio bit-identical to the signal" '[ $status -eq 0 ]'

wait "$pid"; pid=
echo "\$ ffprobe -v error -show_streams -show_format archive.asf"
file=$(ffprobe -v error -show_streams -show_format "$work/archive.asf" 2>&1)
printf '%s\n' "$file" | grep -E '^(codec_name|codec_type|nb_streams|size|TAG:title)'
check "file: audio and data streams" '[ "$(printf "%s\n" "$file" | grep -c "^codec_type=")" -eq 2 ]'
check "file: title tag" 'printf "%s\n" "$file" | grep -qx "TAG:title=Proof Title"'
echo "\$ ffprobe -v error -select_streams d -show_packets -show_data archive.asf"
script=$(ffprobe -v error -select_streams d -show_packets -show_data "$work/archive.asf" 2>&1)
printf '%s\n' "$script" | grep -E '^pts_time|^0000' | head -6
at3=$(printf '%s\n' "$script" | awk '/^pts_time=3.000000/{p=1} p&&/^\[\/PACKET\]/{exit} p')
check "script packets: one a second, 12 in all" '[ "$(printf "%s\n" "$script" | grep -c "^pts_time=")" -eq 12 ]'
check "script at 3 s: TEXT + Song 3 as two UTF-16 strings" \
  'printf "%s\n" "$at3" | grep -q "^00000000: 5400 4500 5800 5400 0000 5300 6f00 6e00" &&
   printf "%s\n" "$at3" | grep -q "^00000010: 6700 2000 3300 0000 "'
echo "\$ ffmpeg -v error -i archive.asf -map 0:a -f s16le whole.raw"
ffmpeg -nostdin -v error -i "$work/archive.asf" -map 0:a -f s16le "$work/whole.raw"
# Twelve seconds in whole blocks of 576 frames: 919 blocks.
check "file: all twelve seconds of audio" '[ "$(stat -c %s "$work/whole.raw")" -eq $((919 * 576 * 4)) ]'

[ $fail -eq 0 ] && echo "ffmpeg proof passed"
exit $fail
