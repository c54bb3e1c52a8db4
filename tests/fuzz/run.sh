#!/usr/bin/env bash
# Runs both fuzz targets for SECONDS each (default 60) from seed corpora made
# by the sample writer; fails on any finding. Prints the executions reached.
# Usage: run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(realpath "$1")
seconds=${2:-60}
work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work/samples" "$work/decode" "$work/request" "$work/artifacts"

"$build/tools/palm-samples" "$work/samples"
cp "$work/samples"/* "$work/decode/"
# Request seeds: each sample, asked for each field through both exports, by its real path.
n=0
for file in "$work/samples"/*; do
  for index in 2 3 4 5 6 7 8 9; do # index byte: value % 12 - 2 gives fields 0..7
    for mode in 2 3; do
      { printf "\\x$(printf %02x $index)\\x00\\x00\\x01\\x$(printf %02x $mode)\\x00"; cat "$file"; } > "$work/request/seed$n"
      n=$((n + 1))
    done
  done
done

status=0
for target in decode_fuzz request_fuzz; do
  corpus="$work/${target%_fuzz}"
  log="$work/$target.log"
  if "$build/tests/fuzz/$target" "$corpus" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$work/artifacts/" >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: no finding in $seconds s, $executions executions"
  else
    echo "$target: FINDING" >&2
    tail -40 "$log" >&2
    status=1
  fi
done
exit $status
