#!/usr/bin/env bash
# Builds the Debian package and prints its path (alone on standard output; the build's messages go to
# standard error): a Release build for /usr without tests or benchmarks in build-pkg (or DIR), then
# cpack. Usage: package.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-pkg}
scripts/install-deps.sh >&2
# The dates in the manual pages and the metadata are the last commit's, so one commit packs alike.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git log -1 --format=%ct 2>/dev/null); then
  export SOURCE_DATE_EPOCH=$epoch
fi
scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARVIK11_GUI=ON -DTARVIK11_TESTS=OFF -DTARVIK11_BENCH=OFF >&2
log=$(cd "$dir" && cpack -G DEB 2>&1) || { echo "$log" >&2; exit 1; }
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$log")
[ -f "$deb" ] || { echo "$log" >&2; echo "package.sh: cpack named no package" >&2; exit 1; }
echo "$deb"
