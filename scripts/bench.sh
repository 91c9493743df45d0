#!/usr/bin/env bash
# Builds the benchmarks and runs each one, printing its figures. Benchmarks
# are never part of the tests; run them on a quiet machine.
# Usage: bash scripts/bench.sh [name...]   (names: index lha lha_folder lha_memory cab build profiles sync cp932 sfx upload)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
names=("$@")
if [ ${#names[@]} -eq 0 ]; then names=(index lha lha_folder lha_memory cab build profiles sync cp932 sfx upload); fi
# "lha" is the LZH encoder's whole report: the corpora and the large file.
expanded=()
for n in "${names[@]}"; do
  expanded+=("$n")
  if [ "$n" = lha ] && [[ " ${names[*]} " != *" lha_memory "* ]]; then expanded+=(lha_memory); fi
done
names=("${expanded[@]}")
for n in "${names[@]}"; do
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target "bench_$n"
  echo "== bench_$n"
  "$BUILD_DIR/bench/bench_$n"
done
