#!/usr/bin/env bash
# Installs what is needed, builds, and starts Tarvik11 (on the virtual board when no board is attached).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DTARVIK11_TESTS=OFF -DTARVIK11_BENCH=OFF
if [ -x build/app/tarvik11 ]; then
  exec build/app/tarvik11 --virtual-board "$@"
elif [ -x build/cli/tarvik11-cli ]; then
  exec build/cli/tarvik11-cli --board "$@"
else
  exec build/sim/tarvik11-board --link /tmp/tarvik11-board "$@"
fi
