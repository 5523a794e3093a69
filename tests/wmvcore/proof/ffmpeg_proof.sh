#!/usr/bin/env bash
# The FFmpeg proof: wmvcore_serve runs the plug-in's own live encoder (encoder/LiveEncoder.h)
# through the runtime stand-in loaded as wmvcore.dll, under Wine, on a real loopback port. With
# the uncompressed codec's first format it broadcasts a known 44.1 kHz stereo 16-bit signal with
# a script stream ("TEXT" + "Song k" at each second) and the nine content attributes, switches
# the input to 48 kHz (a 440 Hz sine) after six seconds, and archives the same stream with the
# encoder's file sink. FFmpeg, which nobody here wrote, is the listener:
#   ffprobe -v error -show_streams -show_format mmsh://127.0.0.1:PORT/
#   ffmpeg -v error -i mmsh://127.0.0.1:PORT/ -map 0:a -t 2 -f s16le live.raw   (bit-exact check)
#   ffprobe on the archive: streams, script packets with -show_packets -show_data, the audio
#   packets' pts across the rate change, and ffmpeg decoding the whole audio.
set -u
serve="$1"
seconds=10
change_at=6
source "$(dirname "${BASH_SOURCE[0]}")/proof-lib.sh"
mark() { echo "MARK $1" >>"$log"; }

codec="Windows Media Audio 9.2 Lossless"
echo "\$ wine wmvcore_serve.exe --codec \"$codec\" $port $seconds $change_at 48000 archive.asf"
start_serve --codec "$codec" "$port" "$seconds" "$change_at" 48000 "$winfile"
echo "serving on $port"

echo "\$ ffprobe -v error -show_streams -show_format mmsh://127.0.0.1:$port/"
mark probe-start
probe=$(timeout 30 ffprobe -v error -show_streams -show_format "mmsh://127.0.0.1:$port/" 2>&1)
mark probe-end
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

echo "\$ ffmpeg -v error -i mmsh://127.0.0.1:$port/ -map 0:a -t 2 -f s16le live.raw"
mark pull-start
timeout 30 ffmpeg -nostdin -v error -i "mmsh://127.0.0.1:$port/" -map 0:a -t 2 -f s16le "$work/live.raw"
echo "ffmpeg exited with $?, $(stat -c %s "$work/live.raw" 2>/dev/null) bytes"
mark pull-end

wait "$pid"; status=$?; pid=
echo "wmvcore_serve exited with $status"
check "the encoder ran to the end" '[ $status -eq 0 ] && grep -q "^DONE" "$log"'
grep -E '^(SCRIPT|CHANGE|CLIENTS|STATS|MARK)' "$log" | tr -d '\r'

# The listener count: 1 while ffprobe and while ffmpeg were connected, 0 after each, never above 1.
clients=$(tr -d '\r' <"$log" | awk '/^MARK/{print $2} /^CLIENTS/{print "clients" $2}' | tr '\n' ' ')
echo "listener count and marks: $clients"
# ffmpeg may close its connection (mmsh opens more than one) just before its process ends, so
# the 0 may come before or after the pull-end mark; what counts is a 1 during the pull and a 0
# as the last count seen.
during=$(printf '%s' "$clients" | sed -n 's/.*pull-start \(.*\)pull-end.*/\1/p')
check "GetClientCount went to 1 while ffmpeg pulled and back to 0 after" \
  'printf "%s" "$during" | grep -q "clients1" && [ "$(printf "%s" "$clients" | grep -o "clients[0-9]*" | tail -1)" = clients0 ]'
check "GetClientCount never above 1" '! printf "%s" "$clients" | grep -Eq "clients([2-9]|[1-9][0-9])"'

# The statistics after the last block: bytes of ten seconds of the 44.1 kHz stream (the 48 kHz
# input is counted as the 44.1 kHz it becomes) and the current bit rate of 16-bit stereo 44.1 kHz.
last=$(tr -d '\r' <"$log" | awk '/^STATS/{line=$0} END{print line}')
stat_bytes=$(printf '%s' "$last" | awk '{print $2 + 0}')
stat_rate=$(printf '%s' "$last" | awk '{print $3 + 0}')
echo "last statistics: $stat_bytes bytes, current bit rate $stat_rate"
check "statistics byte count about $seconds s of 176400 bytes" \
  '[ "$stat_bytes" -gt $((seconds * 176400 * 98 / 100)) ] && [ "$stat_bytes" -lt $((seconds * 176400 * 102 / 100)) ]'
check "statistics current bit rate about 1411 kbps" \
  '[ "$stat_rate" -gt 1383000 ] && [ "$stat_rate" -lt 1440000 ]'

# Script samples at the times the plug-in gave them (the SCRIPT lines) and the change's time.
tr -d '\r' <"$log" | awk '/^SCRIPT/{print $2, $3}' >"$work/given.txt"
change_time=$(tr -d '\r' <"$log" | awk '/^CHANGE/{print $3}')

echo "\$ ffprobe -v error -show_streams -show_format archive.asf"
file=$(ffprobe -v error -show_streams -show_format "$work/archive.asf" 2>&1)
printf '%s\n' "$file" | grep -E '^(codec_name|codec_type|sample_rate|channels|nb_streams|size|duration|TAG:title)'
check "archive: audio and data streams" '[ "$(printf "%s\n" "$file" | grep -c "^codec_type=")" -eq 2 ]'
check "archive: title tag" 'printf "%s\n" "$file" | grep -qx "TAG:title=Proof Title"'
# The file sink wrote the play duration back: the format's duration, checked below against the
# audio ffmpeg decodes from the file.
duration=$(printf '%s\n' "$file" | awk -F= '/^\[FORMAT\]/{f=1} f&&/^duration=/{print $2}')

echo "\$ ffprobe -v error -select_streams d -show_packets -show_data archive.asf"
ffprobe -v error -select_streams d -show_packets -show_data "$work/archive.asf" >"$work/script.txt" 2>&1
grep -E '^pts_time|^0000' "$work/script.txt" | head -6
echo "\$ ffprobe -v error -select_streams a -show_entries packet=pts_time,duration_time,size -of csv archive.asf"
ffprobe -v error -select_streams a -show_entries packet=pts_time,duration_time,size -of csv \
  "$work/archive.asf" >"$work/apackets.csv" 2>&1
echo "\$ ffmpeg -v error -i archive.asf -map 0:a -f s16le whole.raw"
ffmpeg -nostdin -v error -i "$work/archive.asf" -map 0:a -f s16le "$work/whole.raw"

python3 - "$work" "$seconds" "$change_time" "$duration" <<'PY'
import math, re, struct, sys
work, seconds, change_time, duration = sys.argv[1], int(sys.argv[2]), int(sys.argv[3] or 0), sys.argv[4]
failed = False
def check(what, ok, detail=''):
    global failed
    print(('ok: ' if ok else 'FAIL: ') + what + (' (' + detail + ')' if detail else ''))
    failed |= not ok
def sample(n, c):
    mixed = ((n * 2654435761 + c * 40503) & 0xFFFFFFFF) >> 16
    return (mixed ^ (n & 0xFFFF if c else 0)) & 0xFFFF
def frames(path):
    data = open(path, 'rb').read()
    n = len(data) // 4
    return struct.unpack('<%dH' % (n * 2), data[:n * 4])
block = 576
# The change comes at the first block boundary at or past six seconds; before it the frames of
# the stream are the indexed signal one for one.
change_frame = (change_time * 44100 + 5 * 10**6) // 10**7
check('the change at a block boundary past 6 s', change_frame % block == 0 and change_frame * 10**7 // 44100 == change_time
      and 6 * 44100 <= change_frame < 6 * 44100 + block, 'frame %d, %d x 100 ns' % (change_frame, change_time))

# The live pull: bit-identical to the signal from its first frame on.
got = frames(work + '/live.raw')
n = len(got) // 2
start = next((s for s in range(change_frame) if sample(s, 0) == got[0] and sample(s, 1) == got[1]), None)
if n < 44100 or start is None:
    check('live pull decodes bit-identical to the signal', False, '%d frames, first frame %s' % (n, start))
else:
    upto = min(n, change_frame - start)
    bad = sum(1 for i in range(upto) if got[2*i] != sample(start + i, 0) or got[2*i+1] != sample(start + i, 1))
    check('live pull decodes bit-identical to the signal', bad == 0 and upto >= 44100,
          '%d frames from frame %d compared, %d differ' % (upto, start, bad))

# The archive's whole audio: the indexed signal up to the change, then the 48 kHz sine as 44.1 kHz.
whole = frames(work + '/whole.raw')
total = len(whole) // 2
bad = sum(1 for i in range(min(total, change_frame)) if whole[2*i] != sample(i, 0) or whole[2*i+1] != sample(i, 1))
check('archive audio bit-identical up to the change', total > change_frame and bad == 0,
      '%d frames, %d differ' % (min(total, change_frame), bad))
# 576 input frames at 48 kHz become 529.2 frames at 44.1 kHz.
expected_after = (seconds * 10**7 - change_time) * 44100 // 10**7
after = total - change_frame
check('archive length after the change is the remaining time at 44.1 kHz', abs(after - expected_after) <= block,
      '%d frames, about %d expected' % (after, expected_after))
try:
    played = float(duration)
except ValueError:
    played = -1
check('archive duration is the length of its audio', abs(played - total / 44100) <= 0.005,
      'ffprobe duration %s, %.3f s of audio' % (duration, total / 44100))
signed = lambda v: v - 65536 if v >= 32768 else v
worst = max((abs(signed(whole[2*(change_frame+m)]) - 12000 * math.sin(2 * math.pi * 440 * m / 44100))
             for m in range(after)), default=99999)
mirror = max((abs(signed(whole[2*(change_frame+m)]) + signed(whole[2*(change_frame+m)+1])) for m in range(after)), default=99999)
check('after the change: the 440 Hz sine at 44.1 kHz, in phase from the change on', worst <= 40 and mirror <= 1,
      'largest difference %.1f of 12000, channels mirror within %d' % (worst, mirror))

# Audio packets: each packet's pts is the frames before it at 44.1 kHz (ms precision in ASF),
# so no gap and no overlap, across the change as well; pts + duration meets the next pts.
rows = [l.split(',') for l in open(work + '/apackets.csv').read().split() if l.startswith('packet')]
pts = [round(float(r[1]) * 1000) for r in rows]
dur = [round(float(r[2]) * 1000) for r in rows]
size = [int(r[3]) for r in rows]
before, drift = 0, 0
for p, s in zip(pts, size):
    drift = max(drift, abs(p - before * 1000 / 44100))
    before += s // 4
join = max((abs(pts[i+1] - pts[i] - dur[i]) for i in range(len(pts) - 1)), default=99)
around = [i for i in range(len(pts)) if pts[i] * 10**4 >= change_time][:1]
if around:
    i = around[0]
    print('packets around the change: ' + ', '.join('%d ms +%d (%d bytes)' % (pts[j], dur[j], size[j]) for j in range(i - 2, i + 3)))
check('audio pts continuous across the rate change', len(pts) > 100 and drift <= 1.0 and join <= 1 and before == total,
      '%d packets, pts at most %.2f ms from the frames before, pts+duration meets next within %d ms' % (len(pts), drift, join))

# Script packets: "TEXT" and "Song k" as two UTF-16 strings, at the time the plug-in gave (ms).
text = open(work + '/script.txt').read()
packets = []
for body in re.findall(r'\[PACKET\](.*?)\[/PACKET\]', text, re.S):
    t = float(re.search(r'^pts_time=(\S+)', body, re.M).group(1))
    hexes = ''.join(l[10:50].replace(' ', '') for l in re.findall(r'^[0-9a-f]{8}: .*$', body, re.M))
    packets.append((t, bytes.fromhex(hexes)))
given = [tuple(map(int, l.split())) for l in open(work + '/given.txt')]
check('one script packet per title written', len(packets) == len(given) == seconds, '%d packets, %d written' % (len(packets), len(given)))
for (k, time), (t, data) in zip(given, packets):
    want = 'TEXT\0Song {}\0'.format(k).encode('utf-16-le')
    ok = data == want and abs(t * 1000 - time / 10**4) <= 1
    # The plug-in's time: the stream position after the last whole block, the first at or past k s.
    if time < change_time:
        ok &= time == -(-k * 44100 // block) * block * 10**7 // 44100
    else:
        ok &= time == change_time + -(-(k * 10**7 - change_time) * 48000 // (block * 10**7)) * block * 10**7 // 48000
    if not ok or k in (0, 6, seconds - 1):
        check('script %d: TEXT + Song %d at %.3f s' % (k, k, time / 10**7), ok, 'pts %.3f, %d bytes' % (t, len(data)))
    failed |= not ok
sys.exit(1 if failed else 0)
PY
[ $? -eq 0 ] || fail=1

[ $fail -eq 0 ] && echo "ffmpeg proof passed"
exit $fail
