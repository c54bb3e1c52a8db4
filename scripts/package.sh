#!/usr/bin/env bash
# Builds the install packages into dist/ (or the folder given):
#   wdx_Korvel-VERSION-windows.zip   32-bit DLL as wdx_Korvel.wdx, 64-bit DLL as wdx_Korvel.wdx64
#   wdx_Korvel-VERSION-linux-x86_64.tar.gz   the ELF library as wdx_Korvel.wdx
# each with the pluginst.inf by which a host installs the plug-in from the
# archive, and the licence (LICENSE.txt with Windows line ends in the zip).
# The same commit always gives the same bytes: timestamps are the commit's,
# names are sorted, owners are zeroed, and the DLLs carry no timestamp.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dist="$(realpath -m "${1:-$root/dist}")"
cd "$root"

version=$(sed -n 's/^project(Korvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
epoch=$(git log -1 --format=%ct 2>/dev/null || echo 946684800)

# KORVEL_PACKAGES=linux builds the Linux archive alone.
only=${KORVEL_PACKAGES:-all}
presets=(linux windows-x64 windows-x86)
[ "$only" = linux ] && presets=(linux)
for preset in "${presets[@]}"; do
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target wdx_Korvel >/dev/null
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/windows" "$stage/linux" "$dist"
sed "s/@VERSION@/$version/" packaging/pluginst.inf.in | sed 's/$/\r/' > "$stage/windows/pluginst.inf"
sed "s/@VERSION@/$version/" packaging/pluginst.inf.in > "$stage/linux/pluginst.inf"
if [ "$only" != linux ]; then
  cp build/windows-x86/wdx_Korvel.wdx "$stage/windows/wdx_Korvel.wdx"
  cp build/windows-x64/wdx_Korvel.wdx "$stage/windows/wdx_Korvel.wdx64"
fi
cp build/linux/wdx_Korvel.wdx "$stage/linux/wdx_Korvel.wdx"
sed 's/$/\r/' LICENSE > "$stage/windows/LICENSE.txt"
cp LICENSE "$stage/linux/LICENSE"
chmod 644 "$stage"/*/*
find "$stage" -exec touch -h -d "@$epoch" {} +

windows_zip="$dist/wdx_Korvel-$version-windows.zip"
linux_tar="$dist/wdx_Korvel-$version-linux-x86_64.tar.gz"
rm -f "$windows_zip" "$linux_tar"
# zip stores local time: fix the zone so that every machine writes the same.
if [ "$only" != linux ]; then
  (cd "$stage/windows" && TZ=UTC zip -q -X -D "$windows_zip" LICENSE.txt pluginst.inf wdx_Korvel.wdx wdx_Korvel.wdx64)
  echo "$windows_zip"
fi
tar -C "$stage/linux" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner --format=gnu \
  -cf - LICENSE pluginst.inf wdx_Korvel.wdx | gzip -n -9 > "$linux_tar"
echo "$linux_tar"
