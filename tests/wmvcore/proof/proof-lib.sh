# Shared by the FFmpeg proofs (sourced, with serve set to wmvcore_serve.exe): a work folder
# removed at exit, the check helper, a port free now and wmvcore_serve started under Wine with
# the runtime stand-in beside it.
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export WINEARCH=win32 WINEDEBUG=-all
# The stand-in beside the executable is loaded in place of Wine's own wmvcore.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}wmvcore=n"
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }
log="$work/serve.log"
# The encoder refuses port 0 (it keeps the port it is given), so take one that is free now.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
winfile="Z:$(printf '%s' "$work/archive.asf" | sed 's|/|\\|g')"

# wmvcore_serve with these arguments, its lines appended to the log, once it serves the port.
start_serve() {
  : >"$log"
  wine "$serve" "$@" >>"$log" 2>&1 </dev/null &
  pid=$!
  for _ in $(seq 1 300); do grep -q READY "$log" && break; sleep 0.1; done
  grep -q "READY $port" "$log" || { echo "the server did not start"; cat "$log"; exit 1; }
}
