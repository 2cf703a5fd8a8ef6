#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once plainly (core and GUI)
# and once with AddressSanitizer and UndefinedBehaviorSanitizer (core).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 300)
scripts/build.sh build-asan -DTARVIK11_SANITIZE=ON -DTARVIK11_GUI=OFF -DTARVIK11_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$(nproc)" --timeout 600)
