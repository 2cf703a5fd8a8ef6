#!/usr/bin/env bash
# Starts Tarvik11 under a virtual X server and takes screenshots of the main window, the talker
# setup dialog, the About box and the Board panel.
# Usage: app/tools/screenshots.sh [OUTDIR] [TARVIK11 BINARY]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-/tmp/tarvik11-shots}
bin=${2:-$here/build/app/tarvik11}
mkdir -p "$out"

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v import >/dev/null || need+=(imagemagick)
fc-list 2>/dev/null | grep -qi "dejavu" || need+=(fonts-dejavu-core)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${need[*]} (run as root or install them)" >&2
    exit 1
  fi
  apt-get install -y --no-install-recommends "${need[@]}" >/dev/null
fi

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
home=$(mktemp -d)
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
export DISPLAY=$display
sleep 1

# A fresh settings store, so the shots show the defaults.
XDG_CONFIG_HOME=$home QT_QPA_PLATFORM=xcb "$bin" --virtual-board >/dev/null 2>&1 &
app=$!

window_of() { xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1; }
shot() { import -window "$1" "$out/$2.png"; echo "$out/$2.png"; }

main=$(window_of '^Tarvik11')
import -window root "$out/splash.png" && echo "$out/splash.png" # usually catches the start-up picture
sleep 1.5 # let the splash go
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
shot "$main" main

xdotool key alt+f
sleep 0.5
shot root menu-file
xdotool key Escape
sleep 0.3
xdotool key alt+f b
setup=$(window_of '^Restart Talker$')
sleep 0.5
shot "$setup" setup
xdotool key Escape
sleep 0.5

xdotool key alt+h a
about=$(window_of '^About Tarvik11$')
sleep 0.5
shot "$about" about
xdotool key Escape
sleep 0.5

# View > Board Panel: the virtual board's pins, docked at the window's right.
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key alt+v b
sleep 0.8
shot "$main" board-panel
