#!/usr/bin/env bash
# Every listener at once, at the start and again late: wmvcore_serve broadcasts the default WMA
# v2 stream of tones (a new frequency and level every two seconds, as in the FFmpeg WMA proof)
# with the nine content attributes, and three players nobody here wrote pull it at the same time
# through every URL form the README names:
#   FFmpeg   mmsh://
#   VLC      mmsh:// (its own ASF demultiplexer forced), http:// (the stand-in answers a plain
#            HTTP client with a reference that leads VLC to mmsh://), mms:// (MMS over TCP first,
#            refused at once, then MMS over HTTP)
#   MPlayer  mmsh://, http://, mms://
# The same seven join again 30 s into the broadcast, after many track changes and after the input
# format changed (44.1 kHz to 22.05 kHz, ChangeInputFormat) at 24 s; the late VLCs are asked to
# play for a set time (--run-time), which VLC measures on the stream's own clock.
# Each decodes to a WAV file, which must hold the tones fed, in order, two seconds each, at the
# level fed; each must show the content attributes (FFmpeg's metadata, VLC's meta, MPlayer's clip
# info). VLC refuses to run as root, as CI runs, so it runs as the unprivileged user nobody.
set -u
serve="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
listen=16                 # seconds each listener runs
late_at=30                # when the second listeners join, seconds after the broadcast starts
change_at=24              # when the input format changes
late_run=10               # the late VLCs' --run-time
seconds=$((late_at + listen + 3))  # of the broadcast
source "$here/proof-lib.sh"

out="$work/out"
vlc_home="$work/vlc-home"
mkdir -p "$out" "$vlc_home/.local/share/vlc/lua/intf"
cp "$here/listener-meta.lua" "$vlc_home/.local/share/vlc/lua/intf/"
as_listener=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$work"
  chmod 777 "$out"
  chown -R nobody "$vlc_home"
  as_listener=(runuser -u nobody --)
fi
for tool in ffmpeg cvlc mplayer; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps.sh installs it)"; exit 1; }
done

echo "\$ wine wmvcore_serve.exe --tones --clients 8 $port $seconds $change_at 22050"
start_serve --tones --clients 8 "$port" "$seconds" "$change_at" 22050
ready=$(date +%s.%N)

vlc_listen() {  # name prefix, form, then extra options
  local prefix="$1" form="$2"; shift 2
  "${as_listener[@]}" timeout -s INT -k 5 "$listen" env HOME="$vlc_home" cvlc -vv -I dummy \
    --extraintf luaintf --lua-intf listener-meta "$@" \
    --aout afile --audiofile-wav --audiofile-file="$out/${prefix}vlc-$form.wav" "$form://127.0.0.1:$port/" \
    >"$out/${prefix}vlc-$form.log" 2>&1 </dev/null
}
mplayer_listen() {  # name prefix, form
  local prefix="$1" form="$2"
  timeout -s INT -k 5 "$listen" mplayer -noconsolecontrols -nolirc -identify -msglevel all=4:demux=6 \
    -vo null -af format=s16le -ao pcm:fast:file="$out/${prefix}mplayer-$form.wav" "$form://127.0.0.1:$port/" \
    >"$out/${prefix}mplayer-$form.log" 2>&1 </dev/null
}
listeners() {  # name prefix, then the VLCs' extra options; returns once all have ended
  local prefix="$1"; shift
  local started
  started=$(date +%s.%N)
  timeout -s INT -k 5 "$listen" ffmpeg -nostdin -hide_banner -i "mmsh://127.0.0.1:$port/" -map 0:a \
    -t $((listen - 2)) -f wav "$out/${prefix}ffmpeg-mmsh.wav" >"$out/${prefix}ffmpeg-mmsh.log" 2>&1 &
  vlc_listen "$prefix" mmsh --demux=asf "$@" &
  vlc_listen "$prefix" http "$@" &
  vlc_listen "$prefix" mms --demux=asf "$@" &
  mplayer_listen "$prefix" mmsh &
  mplayer_listen "$prefix" http &
  mplayer_listen "$prefix" mms &
  for job in $(jobs -p); do [ "$job" = "$pid" ] || wait "$job"; done
  echo "${prefix:-first }listeners ran $(python3 -c "import time; print('%.1f' % (time.time() - $started))") s"
}
listeners ""
sleep "$(python3 -c "import time; print('%.2f' % max(0, $ready + $late_at - time.time()))")"
listeners late- --run-time "$late_run"

wait "$pid"; status=$?; pid=
check "the broadcast ran to the end" '[ $status -eq 0 ] && grep -q "^DONE" "$log"'
tr -d '\r' <"$log" | grep -E '^(TONES|CLIENTS)' >"$work/lines.txt"

python3 - "$out" "$work/lines.txt" <<'PY'
import array, math, os, re, sys, wave
out, lines = sys.argv[1], open(sys.argv[2]).read().split('\n')
failed = False
def check(what, ok, detail=''):
    global failed
    print(('ok: ' if ok else 'FAIL: ') + what + (' (' + detail + ')' if detail else ''))
    failed |= not ok

tones = [tuple(map(float, t.split(':'))) for l in lines if l.startswith('TONES') for t in l.split()[1:]]
counts = [int(l.split()[1]) for l in lines if l.startswith('CLIENTS')]
check('the seven players were listeners at the same time, twice', counts.count(7) >= 2, 'counts %s' % counts)

def goertzel(x, hz, rate):
    c = 2 * math.cos(2 * math.pi * hz / rate)
    s1 = s2 = 0.0
    for v in x:
        s1, s2 = v + c * s1 - s2, s1
    return s1 * s1 + s2 * s2 - c * s1 * s2

def tone_runs(mono, rate):
    """The decoded audio as runs of the strongest of the fed tones, in 50 ms steps over 20 ms
    windows: (tone index or None for silence, first step, steps)."""
    step, win = rate // 20, rate // 50
    runs = []
    for at in range(0, len(mono) - win, step):
        x = mono[at:at + win]
        rms = math.sqrt(sum(v * v for v in x) / win)
        label = None if rms < 500 else max(range(len(tones)), key=lambda k: goertzel(x, tones[k][0], rate))
        if runs and runs[-1][0] == label:
            runs[-1][2] += 1
        else:
            runs.append([label, at // step, 1])
    return runs

summary = []
def audio(name, least):
    """Checks one listener's WAV: 44.1 kHz stereo, at least `least` seconds, and the tones fed:
    whole runs of two seconds each at the level fed, in the order fed, with no gap."""
    path = os.path.join(out, name + '.wav')
    try:
        w = wave.open(path)
        rate, channels, width, frames = w.getframerate(), w.getnchannels(), w.getsampwidth(), w.getnframes()
        raw = array.array('h', w.readframes(frames))
    except (OSError, EOFError, wave.Error) as e:
        check(name + ': decoded a WAV file', False, str(e))
        return
    seconds = frames / rate if rate else 0
    check('%s: %.1f s of %d Hz, %d channels, 16-bit' % (name, seconds, rate, channels),
          rate == 44100 and channels == 2 and width == 2 and seconds >= least, 'at least %d s wanted' % least)
    mono = [(raw[2 * i] + raw[2 * i + 1]) / 2 for i in range(len(raw) // 2)]
    runs = tone_runs(mono, rate)
    # Silence before the first tone (a decoder's start) and after the last is allowed.
    while runs and runs[0][0] is None: runs.pop(0)
    while runs and runs[-1][0] is None: runs.pop()
    whole = runs[1:-1]  # the first and last tracks are cut by joining and leaving
    order = all(b[0] is not None and a[0] is not None and b[0] == (a[0] + 1) % len(tones) for a, b in zip(runs, runs[1:]))
    lengths = [r[2] * 0.05 for r in whole]
    levels = []
    for label, first, steps in whole:
        piece = mono[int((first * 0.05 + 0.15) * rate):int(((first + steps) * 0.05 - 0.15) * rate)]
        level = math.sqrt(sum(v * v for v in piece) / max(len(piece), 1)) * math.sqrt(2)
        levels.append(20 * math.log10(max(level, 1) / tones[label][1]))
    ok = len(whole) >= 2 and order and all(abs(l - 2.0) <= 0.15 for l in lengths) and all(abs(d) <= 1 for d in levels)
    check('%s: the tones fed, in order, two seconds each at the level fed' % name, ok,
          'tracks %s, whole ones %s s, %s dB' % ([tones[r[0]][0] if r[0] is not None else None for r in runs],
                                               ['%.2f' % l for l in lengths], ['%+.2f' % d for d in levels]))
    summary.append('%s %.1f s %d Hz %d ch' % (name, seconds, rate, channels))

def text(name):
    try:
        return open(os.path.join(out, name + '.log'), errors='replace').read()
    except OSError:
        return ''

want = {'title': 'Proof Title', 'author': 'Proof Author', 'copyright': 'Proof Copyright', 'description': 'Proof Description'}

for pre in ('', 'late-'):
    # FFmpeg: its metadata lines.
    audio(pre + 'ffmpeg-mmsh', 12)
    log = text(pre + 'ffmpeg-mmsh')
    got = {k: re.search(r'^\s*%s\s*: (.*)$' % f, log, re.M) for k, f in
           [('title', 'title'), ('author', 'artist'), ('copyright', 'copyright'), ('description', 'comment')]}
    check(pre + 'ffmpeg-mmsh: title, author, copyright and description', all(got[k] and got[k].group(1).strip() == v for k, v in want.items()),
          str({k: g.group(1).strip() if g else None for k, g in got.items()}))

    # VLC: its ASF demultiplexer on the stream and the meta it read there. VLC waits for the header's
    # preroll (5 s) before it plays, so it decodes less than the others in the same time; the late ones
    # play for a set time of the stream's clock, which begins at their joining.
    for form in ('mmsh', 'http', 'mms'):
        name = pre + 'vlc-' + form
        audio(name, 7 if pre else 8)
        log = text(name)
        check(name + ': VLC\'s own ASF demultiplexer', 'using demux module "asf"' in log)
        meta = dict(re.findall(r'LISTENER-META (\w+)=(.*)', log))
        uri = re.search(r'LISTENER-META uri (\S+)', log)
        got = {'title': meta.get('title'), 'author': meta.get('artist'), 'copyright': meta.get('copyright'),
               'description': meta.get('description')}
        check(name + ': title, author, copyright and description in VLC\'s meta', got == want,
              '%s, from %s' % (got, uri.group(1) if uri else None))

    # MPlayer: its clip info, and no fragment it had to drop when it joined.
    for form in ('mmsh', 'http', 'mms'):
        name = pre + 'mplayer-' + form
        audio(name, 12)
        log = text(name)
        info = dict(re.findall(r'^ID_CLIP_INFO_NAME(\d+)=(.*)$', log, re.M))
        values = dict(re.findall(r'^ID_CLIP_INFO_VALUE(\d+)=(.*)$', log, re.M))
        got = {info[i]: values.get(i) for i in info}
        check(name + ': title, author, copyright and description in MPlayer\'s clip info',
              {'title': got.get('title'), 'author': got.get('author'), 'copyright': got.get('copyright'),
               'description': got.get('comments')} == want, str(got))
        check(name + ': no broken fragment', 'broken fragment' not in log)

for line in summary:
    print('played: ' + line)
sys.exit(1 if failed else 0)
PY
[ $? -eq 0 ] || fail=1

[ $fail -eq 0 ] && echo "listeners end to end passed"
exit $fail
