#!/usr/bin/env bash
# Builds everything and runs every test: natively, and the Windows DLL under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# Native, the Windows DLLs under Wine, then the native suite again under
# AddressSanitizer with UndefinedBehaviorSanitizer and under ThreadSanitizer.
presets=(linux windows-x64 windows-x86 asan tsan)
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

echo "== fuzzing" >&2
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
tests/fuzz/run.sh build/fuzz "${KORVEL_FUZZ_SECONDS:-60}" || status=1
exit $status
