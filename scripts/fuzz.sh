#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for N seconds (default 60),
# printing one summary line per target. Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
CC=clang-19 CXX=clang++-19 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_BUILD_FUZZ=ON -DQM_BUILD_TESTS=OFF >/dev/null
ninja -C build-fuzz -j"$(nproc)" >/dev/null
work=build-fuzz/corpus
rm -rf "$work" && mkdir -p "$work"
build-fuzz/fuzz/make-fuzz-seeds "$work"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for t in build-fuzz/fuzz/fuzz_*; do targets+=("$(basename "$t")"); done
fi
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t" build-fuzz/artifacts
  # Regression inputs found earlier run first, then the seeds.
  [ -d "fuzz/corpus/$t" ] && cp -r "fuzz/corpus/$t/." "$work/$t/"
  log="build-fuzz/$t.log"
  if build-fuzz/fuzz/"$t" -max_total_time="$seconds" -rss_limit_mb=1024 -malloc_limit_mb=256 -timeout=10 \
       -artifact_prefix=build-fuzz/artifacts/"$t"- "$work/$t" >"$log" 2>&1; then
    summary=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -E 's/^#([0-9]+).*cov: ([0-9]+).*/\1 runs, cov \2/')
    echo "fuzz $t: ok ($summary in ${seconds}s)"
  else
    echo "fuzz $t: FAILED (see $log)"
    tail -n 30 "$log"
    status=1
  fi
done
exit $status
