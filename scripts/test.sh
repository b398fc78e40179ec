#!/usr/bin/env bash
# Builds everything and runs the whole test suite headless, once more under a locale with a decimal
# comma; installs the build and builds and runs the README's example against the install; then
# builds the suite again with AddressSanitizer and UndefinedBehaviorSanitizer (in build-sanitize)
# and runs it: any report fails.
# With KVL_CI=1 (CI) a compiler warning fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
werror=OFF
[ -n "${KVL_CI:-}" ] && werror=ON

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVL_WARNINGS_AS_ERRORS=$werror >/dev/null
cmake --build build -j"$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 120)
# Qt takes the user's locale from these variables; the C library's locale need not be installed.
(cd build && env LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 QT_QPA_PLATFORM=offscreen \
  ctest --output-on-failure -j"$jobs" --timeout 120)

# The install, and the README's example built against it and run on the installed simulator.
./scripts/example.sh build

# The sanitizers: the test programs only (the benchmarks are not run).
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKVL_SANITIZE=ON -DKVL_BUILD_BENCHMARKS=OFF \
  -DKVL_WARNINGS_AS_ERRORS=$werror >/dev/null
cmake --build build-sanitize -j"$jobs"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
(cd build-sanitize && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 300)
