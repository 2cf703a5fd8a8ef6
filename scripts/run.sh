#!/usr/bin/env bash
# Installs what is needed, builds, and starts Tarvik11: on the virtual board when no USB serial
# adapter is attached, otherwise on the real line (map COM1..COM4 in Boot Talker > Ports...).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DTARVIK11_TESTS=OFF -DTARVIK11_BENCH=OFF
# Start in the folder that holds the talker (ambrel.boo) and the sample programs (examples/).
cd build/target
board=(--virtual-board)
if compgen -G "/dev/ttyUSB*" >/dev/null || compgen -G "/dev/ttyACM*" >/dev/null; then
  board=()
fi
exec ../app/tarvik11 "${board[@]}" "$@"
