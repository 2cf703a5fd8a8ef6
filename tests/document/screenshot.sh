#!/bin/sh
# Screenshot of a session on the virtual board (a dump; the listing with the stopped program's line
# marked and breakpoints in its gutter; the Registers and Breakpoints windows; the run state in the
# status bar) under Xvfb, and the I/O Registers window beside it (output-io.png).
# Usage: tests/document/screenshot.sh <build dir> [output.png]
set -e
build=${1:?build directory}
out=${2:-tarvik11-session.png}
TARVIK11_SCREENSHOT=$(realpath -m "$out") QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1400x700x24" "$build/tests/document/tarvik11_document_session_tests"
echo "saved $out"
