#!/usr/bin/env bash
# Installs the Debian packages Tarvik11 needs to build, run and test.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev
      binutils-m68hc1x qt6-base-dev ccache libgl-dev clang libclang-rt-14-dev
      libelf-dev libdw-dev nlohmann-json3-dev
      dpkg-dev file desktop-file-utils appstream man-db)  # the last five: the Debian package and its checks
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}"
fi
