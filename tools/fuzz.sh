#!/bin/sh
# Builds the libFuzzer targets (CMake preset "fuzz", clang 14) and runs each
# for the given number of seconds, one after the other, starting from the
# committed seed corpus and regression inputs plus what earlier runs on this
# machine found (build/fuzz/corpus/<entry>).
# Usage: tools/fuzz.sh [seconds per target, default 60] [entry ...]
# Exits non-zero when a target finds a crash; its input is kept in
# build/fuzz/crashes/<entry>/ -- fix the fault, then copy the input into
# fuzz/regressions/<entry>/ so the normal test suite replays it.
set -eu
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
entries=${*:-"bmp_into_fresh_image bmp_into_formed_image bmp_onto_screen text_with_font_image"}

cmake --preset fuzz >/dev/null
targets=""
for entry in $entries; do targets="$targets fuzz_$entry"; done
# shellcheck disable=SC2086
cmake --build --preset fuzz -j "${JOBS:-2}" --target $targets

status=0
for entry in $entries; do
  work=build/fuzz/corpus/$entry
  crashes=build/fuzz/crashes/$entry
  mkdir -p "$work" "$crashes"
  seeds="fuzz/corpus/$entry"
  [ -d "fuzz/regressions/$entry" ] && seeds="$seeds fuzz/regressions/$entry"
  echo "== $entry: $seconds s"
  # shellcheck disable=SC2086
  if ! build/fuzz/fuzz/fuzz_$entry "$work" $seeds -max_total_time="$seconds" -max_len=8192 -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crashes/" 2>"build/fuzz/$entry.log"; then
    status=1
    tail -n 40 "build/fuzz/$entry.log"
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ *DONE)' "build/fuzz/$entry.log" || true
done
exit $status
