#!/bin/sh
# Writes a gzip-compressed manual page from a program's --help text and a roff template
# (see help2roff.awk for how the text is read).
#   help2roff.sh TEMPLATE OUT.gz VERSION DATADIR PROGRAM        runs PROGRAM --help
#   help2roff.sh TEMPLATE OUT.gz VERSION DATADIR --text FILE    reads the help text from FILE
# The date is SOURCE_DATE_EPOCH's when set, so that a package build can be repeated exactly.
set -eu
template=$1 out=$2 version=$3 datadir=$4
shift 4
here=$(dirname "$0")
help=$(mktemp)
page=$(mktemp)
trap 'rm -f "$help" "$page"' EXIT
if [ "$1" = --text ]; then
    cat "$2" >"$help"
else
    LC_ALL=C "$1" --help >"$help"
fi
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
else
    date=$(date -u +%Y-%m-%d)
fi
LC_ALL=C awk -v template="$template" -v version="$version" -v date="$date" -v datadir="$datadir" -f "$here/help2roff.awk" "$help" >"$page"
gzip -9n -c "$page" >"$out.part"
mv "$out.part" "$out"
