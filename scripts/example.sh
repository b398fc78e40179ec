#!/usr/bin/env bash
# Installs the build in the folder given (default: build) to a temporary prefix, builds
# examples/identify against the installed package, as another project would, and runs it on the
# installed simulator: it must print the simulator's identification.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/kvlsim-start.sh
build="${1:-build}"
work="$(mktemp -d)"
cleanup() {
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S examples/identify -B "$work/identify" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/identify" >/dev/null

start_kvlsim "$work/prefix/bin/kvlsim" "$work/sim.out"
reply="$(KVL_COM1="$pty" QT_QPA_PLATFORM=offscreen KVL_LOCK_DIR="$work" timeout 30 "$work/identify/identify")"
[ "$reply" = "KVL410 Version 2.0" ] || { echo "the example printed \"$reply\"" >&2; exit 1; }
echo "example: $reply"
