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
junit=$(mktemp)
log=$(mktemp)
not_run=$(mktemp)
trap 'rm -f "$junit" "$log" "$not_run"' EXIT
# "PASSED FAILED SKIPPED" from CTest's JUnit report of one preset, the names
# of the tests not run appended to $not_run; a preset that wrote no report
# counts as one failure.
count() { # preset
  python3 - "$junit" "$1" "$not_run" <<'PY'
import sys, xml.etree.ElementTree as ET
report, preset, not_run = sys.argv[1:]
try:
    cases = ET.parse(report).getroot().iter("testcase")
except (ET.ParseError, OSError):
    print(0, 1, 0)
    sys.exit()
counts = {"run": 0, "fail": 0, "notrun": 0}
with open(not_run, "a") as names:
    for case in cases:
        status = case.get("status")
        if status == "run" and case.find("failure") is not None:
            status = "fail"
        if status == "notrun":
            names.write(f"  {preset}: {case.get('name')}\n")
        counts[status if status in counts else "fail"] += 1
print(counts["run"], counts["fail"], counts["notrun"])
PY
}
for preset in "${presets[@]}"; do
  echo "== testing $preset" >&2
  : >"$junit"
  ctest --preset "$preset" --output-junit "$junit" || status=1
  read -r ran bad skip < <(count "$preset")
  passed=$((passed + ran))
  failed=$((failed + bad))
  skipped=$((skipped + skip))
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
