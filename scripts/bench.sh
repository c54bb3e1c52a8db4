#!/usr/bin/env bash
# Measures a value request against its floor (Google Benchmark) and the
# whole job against other tools, and writes docs/PERFORMANCE.md.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
command -v exiftool >/dev/null || { [ "$(id -u)" -eq 0 ] && apt-get install -y -qq libimage-exiftool-perl >/dev/null; }

for preset in bench linux; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Pinned to one CPU, so that no migration between cores lands in one measurement and not the other.
taskset -c "$(($(nproc) - 1))" build/bench/tests/bench/korvel_request_bench --summary "$work/requests.md" --benchmark_min_time=0.5

# The whole job: every field of 10,000 Palm files, each tool as one process,
# the best of three runs with the files in the page cache.
files=10000
build/linux/tools/palm-samples "$work/many" "$files"
best() { # command... -> best wall time in seconds
  local best=""
  for _ in 1 2 3; do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    local elapsed=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
  done
  printf '%d.%03d' $((best / 1000)) $((best % 1000))
}
probe=$(best build/linux/tools/wdxprobe build/linux/wdx_Korvel.wdx "$work/many")
probe2=$(best build/linux/tools/wdxprobe build/linux/wdx_Korvel.wdx --threads 2 "$work/many")
file_time=$(best sh -c "cd '$work/many' && file -- *")
exif_time=$(best exiftool -q -r "$work/many")

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
{
  echo "# Performance"
  echo
  echo "Measured $(date -u +%Y-%m-%d) by \`scripts/bench.sh\` on: $cpu, $(nproc) cores," \
    "$(free -g | awk '/^Mem:/ {print $2}') GiB, Linux $(uname -r), temporary files on $(df -T /tmp | awk 'NR==2 {print $2}')."
  echo
  echo "## One request against its floor"
  echo
  echo "One hot file (in the page cache). The floor opens it, reads its first 78 bytes and closes it with"
  echo "the plain system calls; the requests go through the exports of the Linux plug-in, loaded with"
  echo "\`dlopen\` as a host loads it. All four are measured in one run, 25 repetitions each in random"
  echo "interleaving, pinned to one CPU; a ratio is the median, over the repetitions, of a request's time over the floor's"
  echo "time in the same repetition. Allocations count every \`malloc\`, \`calloc\` and \`realloc\` in"
  echo "the process during 20,000 requests."
  echo
  cat "$work/requests.md"
  echo
  echo "The system calls dominate: a request adds about a thousand user-space instructions (path checks"
  echo "and conversion, decoding, digits) to the floor's three calls. On these virtual machines the"
  echo "floor itself varies by several percent from run to run, and the ratios by about 0.03."
  echo
  echo "## The whole job"
  echo
  echo "All eight fields of $files generated Palm databases (\`palm-samples DIR $files\`), each tool"
  echo "as one whole process over the folder, best of three runs, files in the page cache."
  echo
  echo "| command | seconds |"
  echo "|---|---|"
  echo "| \`wdxprobe wdx_Korvel.wdx DIR\` (80,000 values, one thread) | $probe |"
  echo "| \`wdxprobe wdx_Korvel.wdx --threads 2 DIR\` | $probe2 |"
  echo "| \`file -- *\` (file type only) | $file_time |"
  echo "| \`exiftool -q -r DIR\` | $exif_time |"
} > docs/PERFORMANCE.md
cat docs/PERFORMANCE.md
