#!/usr/bin/env bash
# Installs what is missing, builds Loftmark and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Warnings in our own targets fail the build here (LM_WERROR).
bash scripts/build.sh -DLM_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)"

# The LHA library's tests once more under AddressSanitizer and UBSan, in a
# small build of their own with only the targets they need: damaged and
# hostile archives must end in result codes, never in a bad memory access.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLM_SANITIZE=ON -DLM_BUILD_GUI=OFF
cmake --build build-asan -j"$(nproc)" --target test_lha
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -R '(Lha|Lzh)'

# Every fuzz target for a short, bounded time from its seed corpus, so that
# a change that makes one of them crash quickly fails here. Longer runs:
# scripts/fuzz.sh (see the README). The seed is fixed so that two runs on
# the same tree explore the same inputs (up to the time limit): a failure
# here can be repeated with FUZZ_SEED=1, and new ground is left to the
# longer runs with fresh seeds.
FUZZ_SEED=${FUZZ_SEED:-1} bash scripts/fuzz.sh all "${FUZZ_SECONDS:-30}"
