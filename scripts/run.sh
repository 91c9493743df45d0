#!/usr/bin/env bash
# Installs what is missing, builds the program with the libraries it loads
# (the target "program": no tests, no benchmarks) and starts it from its
# program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target program
exec "$BUILD_DIR/bin/loftmark"
