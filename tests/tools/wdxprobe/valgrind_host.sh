#!/usr/bin/env bash
# The command-line host and the plug-in under valgrind's memcheck, over the
# sample folder and the databases named in other code pages (converted, with
# threads sharing converters): no invalid access, no uninitialised read, no leak.
# Usage: valgrind_host.sh SAMPLE_WRITER HOST PLUGIN WORK_DIR
set -euo pipefail
samples=$4/samples
rm -rf "$4"
"$1" "$samples"
"$1" --names "$samples/names"
for locale in C.UTF-8 ja_JP.UTF-8; do
  LC_ALL=$locale valgrind --quiet --error-exitcode=99 --suppressions="$(dirname "$0")/unloaded_runtime.supp" \
    --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes \
    "$2" "$3" --all --delay --threads 2 --json -r "$samples" >/dev/null
done
rm -rf "$4"
