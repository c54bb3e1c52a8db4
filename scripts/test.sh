#!/usr/bin/env bash
# Builds everything and runs every test: natively, and the Windows DLL under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
scripts/setup.sh

# Native, on arm64 and armhf under qemu, the Windows DLLs under Wine, then
# the native suite again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer.
presets=(linux linux-arm64 linux-armhf windows-x64 windows-x86 asan tsan)
for preset in "${presets[@]}"; do
  echo "== building $preset" >&2
  build_preset "$preset"
done
status=0
passed=0
failed=0
skipped=0
log=$(mktemp)
not_run=$(mktemp)
trap 'rm -f "$log" "$not_run"' EXIT
count() { # adds a CTest summary line to the totals
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  local bad all skip
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
  all=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
  # CTest counts a test that was not run as passed and lists it apart.
  skip=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)
  passed=$((passed + all - bad - skip))
  failed=$((failed + bad))
  skipped=$((skipped + skip))
  grep -E '\(Skipped\)$' "$log" | sed -E "s/^[[:space:]]*[0-9]+ - /  $preset: /" >>"$not_run" || true
}
for preset in "${presets[@]}"; do
  echo "== testing $preset" >&2
  ctest --preset "$preset" 2>&1 | tee "$log" || status=1
  count
done

echo "== fuzzing" >&2
build_preset fuzz
tests/fuzz/run.sh build/fuzz "${KORVEL_FUZZ_SECONDS:-60}" | tee "$log" || status=1
# One line per target that ran: "no finding" or "FINDING"; a run that
# ended before naming any target counts as one failure.
fuzz_passed=$(grep -c ': no finding' "$log" || true)
fuzz_failed=$(grep -c ': FINDING' "$log" || true)
if [ "$((fuzz_passed + fuzz_failed))" -eq 0 ]; then fuzz_failed=1; fi
passed=$((passed + fuzz_passed))
failed=$((failed + fuzz_failed))

echo
if [ "$skipped" -gt 0 ]; then
  echo "Not run on this machine (the tests' NOT RUN lines say why):"
  cat "$not_run"
  echo "$passed passed, $failed failed, $skipped skipped"
else
  echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ] || status=1
exit $status
