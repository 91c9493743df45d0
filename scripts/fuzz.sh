#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) in
# build-fuzz/ and runs them, each from its seed corpus in fuzz/corpus.
#
#   bash scripts/fuzz.sh [target|all] [seconds]
#   bash scripts/fuzz.sh seeds      (writes fuzz/corpus anew with the
#                                    project's own writers)
#
# Targets: cp932 lzh_read lzh_roundtrip lzh_extract cab profiles
# index_compare ftp_listing. Default: all targets, 30 seconds each. New
# inputs found go to build-fuzz/corpus/<target> (the seeds in the tree stay
# as they are); a crash leaves its input in build-fuzz/artifacts/<target>
# and makes the script fail. Inputs that once failed are kept in
# fuzz/regressions/<target> (not rewritten by "seeds") and run every time.
# FUZZ_JOBS=n runs n fuzzing processes per target (default 1).
# FUZZ_SEED=n fixes libFuzzer's random seed (default: a new one each run),
# so that a run can be repeated mutation for mutation; the test script uses
# a fixed seed so that its result does not depend on luck.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-30}
all=(cp932 lzh_read lzh_roundtrip lzh_extract cab profiles index_compare ftp_listing)
if [ "$target" = all ]; then targets=("${all[@]}"); else targets=("$target"); fi

BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLM_FUZZ=ON -DLM_BUILD_GUI=OFF -DLM_BUILD_TESTS=OFF >/dev/null
if [ "$target" = seeds ]; then
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target fuzz_seeds
  rm -rf fuzz/corpus
  ASAN_OPTIONS=detect_leaks=0 "$BUILD_DIR/fuzz/fuzz_seeds" fuzz/corpus
  exit 0
fi
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
parallel=()
if [ "${FUZZ_JOBS:-1}" -gt 1 ]; then parallel=(-jobs="$FUZZ_JOBS" -workers="$FUZZ_JOBS"); fi
seed=()
if [ -n "${FUZZ_SEED:-}" ]; then seed=(-seed="$FUZZ_SEED"); fi
failed=()
for t in "${targets[@]}"; do
  seeds=("fuzz/corpus/$t")
  if [ -d "fuzz/regressions/$t" ]; then seeds+=("fuzz/regressions/$t"); fi
  work="$BUILD_DIR/corpus/$t"
  artifacts="$BUILD_DIR/artifacts/$t"
  mkdir -p "$work" "$artifacts"
  echo "== fuzz_$t for ${seconds}s"
  if ! "$BUILD_DIR/fuzz/fuzz_$t" "$work" "${seeds[@]}" -max_total_time="$seconds" -max_len=65536 \
      -timeout=20 -rss_limit_mb=2048 "${parallel[@]}" "${seed[@]}" \
      -artifact_prefix="$artifacts/" -print_final_stats=1 2>"$BUILD_DIR/fuzz_$t.log"; then
    tail -n 60 "$BUILD_DIR/fuzz_$t.log"
    failed+=("$t")
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$BUILD_DIR/fuzz_$t.log" || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
