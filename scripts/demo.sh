#!/usr/bin/env bash
# The demo: builds the plug-ins, shows what each one is and offers, writes a
# folder of sample Palm databases and shows every sample's fields as a file
# manager would: once through the Linux library, once through the Windows
# DLL under Wine, once through the arm64 library under qemu. Then says
# whether they agree.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
scripts/setup.sh

for preset in linux windows-x64 linux-arm64; do build_preset "$preset" >/dev/null; done

root=$PWD
linux=build/linux
windows=build/windows-x64
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"
export WINEPREFIX="$PWD/$windows/wineprefix"

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

section "Through the arm64 plug-in, under qemu"
file -b build/linux-arm64/wdx_Korvel.wdx
# Where setup could not install libc6:arm64, qemu.sh says why, and the demo goes on without it.
others=(windows-joined)
if (cd "$demo" && "$root/scripts/qemu.sh" aarch64 "$root/build/linux-arm64/tools/wdxprobe" \
  "$root/build/linux-arm64/wdx_Korvel.wdx" --all --delay samples) >"$demo/arm64.txt"; then
  cat "$demo/arm64.txt"
  others+=(arm64)
fi

section "Comparison"
# A Windows host joins a folder and a name with a backslash; the rest must be the same bytes.
tr -d '\r' <"$demo/windows.txt" | sed 's|^samples\\|samples/|' >"$demo/windows-joined.txt"
agree=1
for other in "${others[@]}"; do
  cmp -s "$demo/linux.txt" "$demo/$other.txt" && continue
  echo "The $other plug-in DISAGREES with the Linux x86-64 one:"
  diff "$demo/linux.txt" "$demo/$other.txt" || true
  agree=0
done
[ $agree -eq 1 ] || exit 1
echo "The $((${#others[@]} + 1)) plug-ins agree on every field of all $(ls "$demo/samples" | wc -l) files."
