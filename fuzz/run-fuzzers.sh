#!/usr/bin/env bash
# Builds the libFuzzer executables with clang and runs each for a given time, one at a time.
#   fuzz/run-fuzzers.sh SECONDS [TARGET...]
# TARGET is a name such as s19_load (default: every target that was built). Environment:
#   TARVIK11_FUZZ_BUILD  build folder (default <source>/build-fuzz)
#   TARVIK11_FUZZ_GUI    ON (default) also builds the Qt listing and settings targets; OFF skips them
#   TARVIK11_FUZZ_SOURCE source tree (default: the one holding this script)
#   TARVIK11_FUZZ_RUNS   also stop a target after this many executions (SECONDS stays the limit)
# The working corpus grows in <build>/fuzz-corpus/<target>; the seeds in fuzz/seeds/<target> and the
# saved inputs in tests/fuzz/corpus-regressions/<target> are read too. A failing input is written to
# <build>/fuzz-artifacts/<target>/; copy it into tests/fuzz/corpus-regressions/<target>/ to keep it.
# Prints executions and time per target; the exit status is non-zero when any target failed.
set -u

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=${TARVIK11_FUZZ_SOURCE:-$(dirname "$here")}
build=${TARVIK11_FUZZ_BUILD:-$source_dir/build-fuzz}
gui=${TARVIK11_FUZZ_GUI:-ON}
runs_limit=${TARVIK11_FUZZ_RUNS:-}
if [ -n "$runs_limit" ] && ! [[ $runs_limit =~ ^[0-9]+$ ]]; then
  echo "TARVIK11_FUZZ_RUNS must be a number of executions" >&2
  exit 2
fi
seeds=$source_dir/fuzz/seeds
saved=$source_dir/tests/fuzz/corpus-regressions

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -G Ninja -DTARVIK11_FUZZ=ON \
    -DTARVIK11_GUI="$gui" -DTARVIK11_TESTS=OFF -DTARVIK11_BENCH=OFF >"$build.configure.log" 2>&1 || {
    cat "$build.configure.log" >&2
    exit 1
  }
fi
cmake --build "$build" -j2 --target tarvik11_fuzzers || exit 1

all=(s19_load parse_number serial_mode talker_file talker_reply elf_program listing_reader settings_store)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "${all[@]}"; do
    [ -x "$build/fuzz/fuzz_$t" ] && targets+=("$t")
  done
fi

# Longer inputs where size is the point: S19 files past the 16 KB limit, long listing lines.
extra_options() {
  case $1 in
    s19_load) echo "-max_len=20000" ;;
    elf_program) echo "-max_len=8192" ;;
    listing_reader) echo "-max_len=65536" ;;
    settings_store) echo "-max_len=8192" ;;
    talker_file | talker_reply) echo "-max_len=1100" ;;
    *) echo "-max_len=4096" ;;
  esac
}

failed=0
printf '%-16s %14s %10s %10s  %s\n' target executions seconds exec/s result
for t in "${targets[@]}"; do
  exe=$build/fuzz/fuzz_$t
  if [ ! -x "$exe" ]; then
    printf '%-16s %14s %10s %10s  %s\n' "$t" - - - "not built"
    failed=1
    continue
  fi
  corpus=$build/fuzz-corpus/$t
  artifacts=$build/fuzz-artifacts/$t
  log=$build/fuzz-logs/$t.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  inputs=("$corpus")
  [ -d "$seeds/$t" ] && inputs+=("$seeds/$t")
  [ -d "$saved/$t" ] && inputs+=("$saved/$t")
  # Qt's libraries keep no frame pointers, so the sanitizer's fast unwinder records a different
  # allocation stack almost every time and its stack store grows until the memory limit ends the
  # run. These targets keep no allocation stacks (replay a failing input for them).
  asan_options=${ASAN_OPTIONS:-}
  if [ "$t" = listing_reader ] || [ "$t" = settings_store ]; then
    asan_options=${ASAN_OPTIONS:-malloc_context_size=0}
  fi
  start=$(date +%s.%N)
  # shellcheck disable=SC2046
  ASAN_OPTIONS=$asan_options QT_QPA_PLATFORM=offscreen "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" $(extra_options "$t") ${runs_limit:+-runs=$runs_limit} \
    "${inputs[@]}" >"$log" 2>&1
  status=$?
  end=$(date +%s.%N)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -z "$runs" ] && runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  [ -z "$runs" ] && runs=0
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
  rate=$(awk -v r="$runs" -v s="$elapsed" 'BEGIN { printf "%.0f", (s > 0 ? r / s : 0) }')
  if [ $status -eq 0 ]; then
    result=ok
  else
    failed=1
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    reason=$(grep -m1 -E 'fuzz check failed|ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error' "$log")
    result="FAILED: ${reason:-exit status $status} ${artifact:+(input: $artifact)} (log: $log)"
  fi
  printf '%-16s %14s %10s %10s  %s\n' "$t" "$runs" "$elapsed" "$rate" "$result"
done
exit $failed
