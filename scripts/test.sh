#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once plainly, once with AddressSanitizer
# and UndefinedBehaviorSanitizer (core and GUI), then each fuzz target briefly.
#   FUZZ_SECONDS=N  seconds per fuzz target (default 15; 0 skips the fuzzers)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 300)

scripts/build.sh build-asan -DTARVIK11_SANITIZE=ON -DTARVIK11_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$(nproc)" --timeout 600)

seconds=${FUZZ_SECONDS:-15}
if [ "$seconds" -gt 0 ]; then
  fuzz/run-fuzzers.sh "$seconds"
fi
