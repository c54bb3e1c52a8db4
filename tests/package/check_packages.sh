#!/usr/bin/env bash
# Builds the install packages twice, checks that they are the same bytes and
# hold what a host needs, then unpacks them and loads every plug-in from
# there: the Linux library natively, both Windows DLLs under Wine.
# Usage: check_packages.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$source_dir"

fail() { echo "FAIL: $*" >&2; exit 1; }

scripts/package.sh "$work/first" >/dev/null
sleep 1 # a second later: any clock time that leaked into the archives would now differ
scripts/package.sh "$work/second" >/dev/null
for archive in "$work"/first/*; do
  cmp "$archive" "$work/second/$(basename "$archive")" || fail "$(basename "$archive") differs between two builds"
done

# The DLLs themselves: a build from scratch in another folder gives the same bytes.
for arch in x86_64 i686; do
  preset=$([ $arch = x86_64 ] && echo windows-x64 || echo windows-x86)
  cmake -S . -B "$work/fresh-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEL_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-$arch.cmake" >/dev/null
  cmake --build "$work/fresh-$arch" --target wdx_Korvel >/dev/null
  cmp "$work/fresh-$arch/wdx_Korvel.wdx" "build/$preset/wdx_Korvel.wdx" || fail "$preset DLL differs when built afresh"
done

zip_file=$(ls "$work"/first/*-windows.zip)
tar_file=$(ls "$work"/first/*-linux-x86_64.tar.gz)
[ "$(unzip -Z1 "$zip_file" | sort | tr '\n' ' ')" = "LICENSE.txt pluginst.inf wdx_Korvel.wdx wdx_Korvel.wdx64 " ] ||
  fail "unexpected zip content: $(unzip -Z1 "$zip_file")"
[ "$(tar -tzf "$tar_file" | sort | tr '\n' ' ')" = "LICENSE pluginst.inf wdx_Korvel.wdx " ] ||
  fail "unexpected tar content: $(tar -tzf "$tar_file")"

mkdir -p "$work/windows" "$work/linux"
unzip -q "$zip_file" -d "$work/windows"
tar -xzf "$tar_file" -C "$work/linux"
file -b "$work/windows/wdx_Korvel.wdx" | grep -q 'PE32 executable (DLL).*Intel 80386' || fail "wdx_Korvel.wdx is not a 32-bit DLL"
file -b "$work/windows/wdx_Korvel.wdx64" | grep -q 'PE32+ executable (DLL).*x86-64' || fail "wdx_Korvel.wdx64 is not a 64-bit DLL"
file -b "$work/linux/wdx_Korvel.wdx" | grep -q 'ELF 64-bit LSB shared object, x86-64' || fail "the Linux wdx_Korvel.wdx is not an ELF library"
for inf in "$work/windows/pluginst.inf" "$work/linux/pluginst.inf"; do
  for key in '^\[plugininstall\]' '^description=.' '^type=wdx' '^file=wdx_Korvel.wdx' '^defaultdir=.' '^version=[0-9]'; do
    tr -d '\r' < "$inf" | grep -q "$key" || fail "$inf lacks $key"
  done
done

# The licence in both, and one version everywhere: the project, the archives'
# names, both pluginst.inf files, both DLLs' version resources, the change log.
cmp -s "$work/linux/LICENSE" LICENSE || fail "the Linux archive's LICENSE differs from the tree's"
tr -d '\r' < "$work/windows/LICENSE.txt" | cmp -s - LICENSE || fail "the zip's LICENSE.txt differs from the tree's"
version=$(sed -n 's/^project(Korvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
versions=("$(basename "$zip_file")=$(basename "$zip_file" | sed -n 's/^wdx_Korvel-\(.*\)-windows.zip$/\1/p')"
  "$(basename "$tar_file")=$(basename "$tar_file" | sed -n 's/^wdx_Korvel-\(.*\)-linux-x86_64.tar.gz$/\1/p')"
  "CHANGELOG.md=$(sed -n 's/^## \[\([0-9][0-9.]*\)\].*/\1/p' CHANGELOG.md | head -1)")
for inf in "$work/windows/pluginst.inf" "$work/linux/pluginst.inf"; do
  versions+=("$inf=$(tr -d '\r' < "$inf" | sed -n 's/^version=//p')")
done
for dll in "$work/windows/wdx_Korvel.wdx" "$work/windows/wdx_Korvel.wdx64"; do
  # The FileVersion text of the version resource, UTF-16 in the file.
  versions+=("$dll=$(python3 "$source_dir/tests/package/resource_version.py" "$dll")")
done
for entry in "${versions[@]}"; do
  [ "${entry##*=}" = "$version" ] || fail "${entry%=*} says version '${entry##*=}', the project $version"
done
echo "ok: version $version everywhere, the licence in both archives"

# Loaded from the unpacked archives, each plug-in gives exactly the expected values.
expected="$source_dir/tests/tools/wdxprobe/samples.expected.jsonl"
build/linux/tools/palm-samples "$work/samples"
for preset in windows-x64 windows-x86; do
  cmake --build --preset "$preset" --target wdxprobe >/dev/null
done
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
check() { # label, command...
  local label=$1 status=0
  shift
  (cd "$work" && timeout 300 "$@" --json --delay samples) >"$work/$label.raw" || status=$?
  [ $status -ne 124 ] || fail "$label: wdxprobe did not finish in 300 s"
  # Where 32-bit programs cannot run at all, scripts/wine.sh has said so: the
  # windows-x86 tests report the same as not run.
  [ $status -ne 77 ] || { echo "$label: not run"; return; }
  [ $status -eq 0 ] || fail "$label: exit status $status"
  # A Windows host joins a folder and a name with a backslash.
  tr -d '\r' <"$work/$label.raw" | sed 's|"samples\\\\|"samples/|' >"$work/$label.jsonl"
  cmp -s "$work/$label.jsonl" "$expected" || fail "$label: values differ from $expected"
  echo "ok: $label"
}
check linux "$source_dir/build/linux/tools/wdxprobe" "$work/linux/wdx_Korvel.wdx"
WINEPREFIX="$source_dir/build/windows-x64/wineprefix" check windows-x64 \
  "$source_dir/scripts/wine.sh" "$source_dir/build/windows-x64/tools/wdxprobe.exe" "$work/windows/wdx_Korvel.wdx64"
WINEPREFIX="$source_dir/build/windows-x86/wineprefix" check windows-x86 \
  "$source_dir/scripts/wine.sh" "$source_dir/build/windows-x86/tools/wdxprobe.exe" "$work/windows/wdx_Korvel.wdx"
rm -rf "$work"
