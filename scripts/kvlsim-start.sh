# Sourced by the scripts that need a simulated controller: start_kvlsim BINARY OUTFILE starts it in
# the background, waits for its pseudo-terminal and sets sim_pid and pty (exits when it does not
# start). The caller stops it with: kill "$sim_pid".
start_kvlsim() {
  "$1" >"$2" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q "serving on" "$2" 2>/dev/null && break
    sleep 0.1
  done
  pty="$(sed -n 's/.*serving on //p' "$2")"
  [ -n "$pty" ] || { echo "kvlsim did not start" >&2; cat "$2" >&2; exit 1; }
}
