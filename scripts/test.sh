#!/usr/bin/env bash
# Builds everything and runs every test: a release build, then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=ON >/dev/null
ninja -C build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=ON -DQM_BUILD_TESTS=ON >/dev/null
ninja -C build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"

if [ "${QM_SKIP_FUZZ:-0}" != 1 ]; then
  scripts/fuzz.sh "${QM_FUZZ_SECONDS:-20}"
fi
