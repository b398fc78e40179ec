#!/usr/bin/env bash
# Installs what is missing, builds the utility and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target Moxtrel
exec build/Moxtrel "$@"
