#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60) from seed corpora made
# by the sample writer; fails on any finding. Prints the executions reached.
# Usage: run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(realpath "$1")
seconds=${2:-60}
work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work/samples" "$work/decode" "$work/request" "$work/path" "$work/artifacts"

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

# Path seeds: the forms hosts give, as UTF-16LE.
n=0
deep=$(printf 'd%.0s' $(seq 300))
for path in 'C:\Palm\MemoDB.pdb' 'memo.pdb' '\\server\share\x.pdb' '\\server\pipe\x.pdb' \
  '\\?\C:\x\con.pdb' '\\.\COM1' '\??\C:\x.pdb' '\\?\UNC\server\share\x.pdb' \
  '\\?\Volume{0f0e0d0c-0000-0000-0000-000000000000}\x.pdb' '\\?\GLOBALROOT\Device\HarddiskVolume3\x.pdb' \
  '\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy12\Palm\x.pdb' '\\?\GLOBALROOT\Device\Null' \
  'C:\'"$deep"'\x.pdb' '\\server\share\'"$deep"; do
  printf '%s' "$path" | iconv -f UTF-8 -t UTF-16LE > "$work/path/seed$n"
  n=$((n + 1))
done

status=0
for target in decode_fuzz request_fuzz path_fuzz; do
  corpus="$work/${target%_fuzz}"
  log="$work/$target.log"
  if "$build/tests/fuzz/$target" "$corpus" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$work/artifacts/" >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: no finding in $seconds s, $executions executions"
  else
    echo "$target: FINDING"
    tail -40 "$log" >&2
    status=1
  fi
done
exit $status
