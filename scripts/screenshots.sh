#!/usr/bin/env bash
# Pictures of every window the menus can open, for a person to look at (not part of CI): starts a
# virtual X display and the simulated controller, opens each window on it in turn and writes one
# PNG per window (then all open, cascaded and tiled) into the folder given, by default
# build/screenshots. Needs Xvfb (Debian package xvfb); builds what it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots}")"
display="${KVL_SHOT_DISPLAY:-:59}"

cmake -S . -B build >/dev/null
cmake --build build -j4 --target kvlsim test_utility_shell

work="$(mktemp -d)"
cleanup() {
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
x_pid=$!
build/kvlsim >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  grep -q "serving on" "$work/sim.out" 2>/dev/null && break
  sleep 0.1
done
pty="$(sed -n 's/.*serving on //p' "$work/sim.out")"
[ -n "$pty" ] || { echo "kvlsim did not start" >&2; cat "$work/sim.out" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"
DISPLAY="$display" QT_QPA_PLATFORM=xcb KVL_COM1="$pty" KVL_SHOT_DIR="$out" \
  build/test_utility_shell --gtest_also_run_disabled_tests \
  --gtest_filter='DesktopScreenshots.DISABLED_EveryWindowOnTheSimulatedController'
echo "pictures in $out:"
ls "$out"
