#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once plainly, once with AddressSanitizer
# and UndefinedBehaviorSanitizer (core and GUI), then each fuzz target briefly.
#   FUZZ_SECONDS=N  seconds per fuzz target (default 15; 0 skips the fuzzers)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
log=$(mktemp)
trap 'rm -f "$log"' EXIT

scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 300) | tee -a "$log"

scripts/build.sh build-asan -DTARVIK11_SANITIZE=ON -DTARVIK11_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$(nproc)" --timeout 600) | tee -a "$log"

seconds=${FUZZ_SECONDS:-15}
if [ "$seconds" -gt 0 ]; then
  fuzz/run-fuzzers.sh "$seconds"
fi

# One closing line for both test runs.
total=$(grep -oE 'tests failed out of [0-9]+' "$log" | awk '{s += $5} END {print s + 0}')
failed=$(grep -oE '[0-9]+ tests failed out of' "$log" | awk '{s += $1} END {print s + 0}')
echo "tests: $((total - failed)) passed, $failed failed"
