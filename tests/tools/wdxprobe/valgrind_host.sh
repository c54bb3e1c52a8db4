#!/usr/bin/env bash
# The command-line host and the plug-in under valgrind's memcheck, over the
# sample folder: no invalid access, no uninitialised read, no leak.
# Usage: valgrind_host.sh SAMPLE_WRITER HOST PLUGIN WORK_DIR
set -euo pipefail
samples=$4/samples
rm -rf "$4"
"$1" "$samples"
valgrind --quiet --error-exitcode=99 --suppressions="$(dirname "$0")/unloaded_runtime.supp" --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes \
  "$2" "$3" --all --delay --threads 2 --json "$samples" >/dev/null
rm -rf "$4"
