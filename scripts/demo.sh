#!/usr/bin/env bash
# The demo: builds both plug-ins, shows what each one is and offers, writes a
# folder of sample Palm databases and shows every sample's fields as a file
# manager would: once through the Linux library, once through the Windows
# DLL under Wine. Then says whether the two agree.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

for preset in linux windows-x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

root=$PWD
linux=build/linux
windows=build/windows-x64
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"
export WINEPREFIX="$PWD/$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

section() { printf '\n== %s\n' "$*"; }

section "Linux plug-in: $linux/wdx_Korvel.wdx"
file -b "$linux/wdx_Korvel.wdx"
echo "Exports:"
nm -D --defined-only "$linux/wdx_Korvel.wdx" | awk '{print "  " $3}'
"$linux/tools/wdxprobe" "$linux/wdx_Korvel.wdx" --list

section "Windows plug-in: $windows/wdx_Korvel.wdx"
file -b "$windows/wdx_Korvel.wdx"
x86_64-w64-mingw32-objdump -p "$windows/wdx_Korvel.wdx" | awk '
  /^Name[ \t]/ { print "Module name: " $3 }
  /^Ordinal Base/ { base = $3; print "Ordinal base: " base }
  /^[ \t]*DLL Name:/ { print "Imports from: " $3 }
  /^[ \t]*\[ *[0-9]+\] Content/ { gsub(/[\[\]]/, " "); print "  ordinal " $1 + base ": " $2 }'
scripts/wine.sh "$windows/tools/wdxprobe.exe" "$windows/wdx_Korvel.wdx" --list | tr -d '\r'

section "Sample Palm databases in $demo/samples"
"$linux/tools/palm-samples" "$demo/samples"
ls -l "$demo/samples" | tail -n +2 | awk '{printf "  %6d  %s\n", $5, $9}'

section "Through the Linux plug-in"
# From the demo folder, so that rows name the files as samples/NAME.
(cd "$demo" && "$root/$linux/tools/wdxprobe" "$root/$linux/wdx_Korvel.wdx" --all --delay samples) | tee "$demo/linux.txt"

section "Through the Windows plug-in, under Wine"
(cd "$demo" && "$root/scripts/wine.sh" "$root/$windows/tools/wdxprobe.exe" "$root/$windows/wdx_Korvel.wdx" --all --delay samples) |
  tee "$demo/windows.txt"

section "Comparison"
if cmp -s "$demo/linux.txt" "$demo/windows.txt"; then
  echo "The two plug-ins agree on every field of all $(ls "$demo/samples" | wc -l) files."
else
  echo "The two plug-ins DISAGREE:"
  diff "$demo/linux.txt" "$demo/windows.txt" || true
  exit 1
fi
