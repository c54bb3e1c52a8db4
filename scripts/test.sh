#!/usr/bin/env bash
# Builds everything and runs every test: natively, and the Windows DLL under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

presets=(linux windows-x64 windows-x86)
for preset in "${presets[@]}"; do
  echo "== building $preset" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
status=0
for preset in "${presets[@]}"; do
  echo "== testing $preset" >&2
  ctest --preset "$preset" || status=1
done
exit $status
