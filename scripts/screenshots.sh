#!/usr/bin/env bash
# Pictures of every window the menus can open, for a person to look at (not part of CI): starts a
# virtual X display and the simulated controller, opens each window on it in turn and writes one
# PNG per window (then all open, cascaded and tiled) into the folder given, by default
# build/screenshots. Needs Xvfb (Debian package xvfb); builds what it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/kvlsim-start.sh
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
start_kvlsim build/kvlsim "$work/sim.out"

rm -rf "$out"
mkdir -p "$out"
DISPLAY="$display" QT_QPA_PLATFORM=xcb KVL_COM1="$pty" KVL_SHOT_DIR="$out" \
  build/test_utility_shell --gtest_also_run_disabled_tests \
  --gtest_filter='DesktopScreenshots.DISABLED_EveryWindowOnTheSimulatedController'
echo "pictures in $out:"
ls "$out"
