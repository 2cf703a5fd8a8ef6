#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test:
#   1. the whole project (core, GUI, benchmarks) and all its tests;
#   2. the core again with AddressSanitizer and UndefinedBehaviorSanitizer (no GUI, no benchmarks)
#      and the core's tests: the memory safety of the code that handles the target's bytes, the
#      files and the typed input (the GUI's tests ran in step 1; the saved fuzz inputs replay here);
#   3. each core fuzz target briefly (the Qt-side targets' saved inputs replay in step 1).
# Tests that run the in-process board do so on virtual time, so they do not wait on the wall clock.
#   FUZZ_SECONDS=N       seconds per fuzz target (default 5; 0 skips the fuzzers)
#   TARVIK11_FUZZ_GUI=ON also builds and runs the Qt-side fuzz targets
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
log=$(mktemp)
trap 'rm -f "$log"' EXIT
jobs=$(( $(nproc) + 1 )) # one more than the cores: a test waiting on a pseudo-terminal leaves a core idle

scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300) | tee -a "$log"

scripts/build.sh build-asan -DTARVIK11_SANITIZE=ON -DTARVIK11_GUI=OFF -DTARVIK11_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs" --timeout 600) | tee -a "$log"

seconds=${FUZZ_SECONDS:-5}
if [ "$seconds" -gt 0 ]; then
  TARVIK11_FUZZ_GUI=${TARVIK11_FUZZ_GUI:-OFF} fuzz/run-fuzzers.sh "$seconds"
fi

# One closing line for both test runs.
total=$(grep -oE 'tests failed out of [0-9]+' "$log" | awk '{s += $5} END {print s + 0}')
failed=$(grep -oE '[0-9]+ tests failed out of' "$log" | awk '{s += $1} END {print s + 0}')
echo "tests: $((total - failed)) passed, $failed failed"
