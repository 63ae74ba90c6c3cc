#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang++ into build-fuzz/ and runs each on a fresh
# copy of its seed corpus for SECONDS_PER_TARGET (default 15). Fails on any finding: a crash,
# a broken property, a leak, a hang (an input that runs longer than 10 s) or runaway memory.
# The input that caused it is kept in build-fuzz/findings/<target>/, the log beside it.
#
#   tools/run-fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-15}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_srecord_line fuzz_hex_line fuzz_image_file fuzz_reply_side)

tools/install-deps.sh
build=build-fuzz
cmake -S . -B "$build" -DVQ_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_WARNINGS_AS_ERRORS=ON
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/findings/$target.log"
  rm -rf "$corpus"
  mkdir -p "$corpus" "$findings"
  cp tests/fuzz/corpus/"$target"/* "$corpus"/
  if "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${runs:-?} runs in ${seconds} s, no finding"
  else
    tail -n 60 "$log"
    echo "$target: FINDING. $(grep -o 'Test unit written to .*' "$log" || echo "See $log.")"
    status=1
  fi
done
exit $status
