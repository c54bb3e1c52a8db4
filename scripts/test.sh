#!/usr/bin/env bash
# Builds everything and runs every test: natively, and the Windows DLL under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

status=0
for preset in linux windows-x64; do
  echo "== $preset" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
exit $status
