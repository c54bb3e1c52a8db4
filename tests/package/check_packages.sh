#!/usr/bin/env bash
# Builds the install packages twice, checks that they are the same bytes and
# hold what a host needs, and that lintian finds nothing wrong with the
# Debian packages; then installs the amd64 package (or, where it cannot,
# unpacks it) and unpacks the others, and loads every plug-in from there:
# the x86-64 library natively, the ARM ones under qemu, both Windows DLLs
# under Wine.
# Usage: check_packages.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$source_dir"
source scripts/common.sh

scripts/package.sh "$work/first" >/dev/null
sleep 1 # a second later: any clock time that leaked into the archives would now differ
scripts/package.sh "$work/second" >/dev/null
for archive in "$work"/first/*; do
  cmp "$archive" "$work/second/$(basename "$archive")" || fail "$(basename "$archive") differs between two builds"
done

# The plug-ins themselves: a build from scratch in another folder gives the same bytes.
for preset in linux linux-arm64 linux-armhf windows-x64 windows-x86; do
  build_preset --fresh "$work/fresh-$preset" "$preset" wdx_Korvel >/dev/null
  cmp "$work/fresh-$preset/wdx_Korvel.wdx" "build/$preset/wdx_Korvel.wdx" || fail "the $preset plug-in differs when built afresh"
done

version=$(project_version linux)
[ -n "$version" ] || fail "CMake wrote no version"
zip_file=$(ls "$work"/first/*-windows.zip)
[ "$(unzip -Z1 "$zip_file" | LC_ALL=C sort | tr '\n' ' ')" = "LICENSE.txt palm-samples.exe pluginst.inf wdx_Korvel.lng \
wdx_Korvel.wdx wdx_Korvel.wdx64 wdxprobe.exe wdxprobe64.exe " ] || fail "unexpected zip content: $(unzip -Z1 "$zip_file")"
mkdir -p "$work/windows"
unzip -q "$zip_file" -d "$work/windows"
for entry in "wdx_Korvel.wdx=PE32 executable (DLL).*Intel 80386" "wdx_Korvel.wdx64=PE32+ executable (DLL).*x86-64" \
  "wdxprobe.exe=PE32 executable (console) Intel 80386" "wdxprobe64.exe=PE32+ executable (console) x86-64" \
  "palm-samples.exe=PE32 executable (console) Intel 80386"; do
  file -b "$work/windows/${entry%%=*}" | grep -q "^${entry#*=}" ||
    fail "the zip's ${entry%%=*} is not ${entry#*=}: $(file -b "$work/windows/${entry%%=*}")"
done
tr -d '\r' <"$work/windows/wdx_Korvel.lng" | cmp -s - packaging/wdx_Korvel.lng || fail "the zip's wdx_Korvel.lng differs from the tree's"

# Per Linux architecture, what `file` says of its ELF files.
declare -A elf=([amd64]="64-bit LSB .*, x86-64" [arm64]="64-bit LSB .*, ARM aarch64" [armhf]="32-bit LSB .*, ARM, EABI5")
infs=("$work/windows/pluginst.inf")
source scripts/linux_architectures.sh
for architecture in $(cut -d' ' -f1 <<<"$linux_architectures"); do
  read -r preset debian archive triplet qemu_cpu < <(linux_architecture "$architecture")
  arch=$archive machine=${elf[$debian]}
  tar_file=$work/first/wdx_Korvel-$version-linux-$arch.tar.gz
  [ "$(tar -tzf "$tar_file" | LC_ALL=C sort | tr '\n' ' ')" = "LICENSE palm-samples pluginst.inf wdx_Korvel.lng \
wdx_Korvel.wdx wdxprobe " ] || fail "unexpected content of $(basename "$tar_file"): $(tar -tzf "$tar_file")"
  mkdir -p "$work/linux-$arch"
  tar -xzf "$tar_file" -C "$work/linux-$arch"
  for shipped in wdx_Korvel.wdx wdxprobe palm-samples; do
    file -b "$work/linux-$arch/$shipped" | grep -q "^ELF $machine" ||
      fail "the $arch $shipped is not an ELF file for $debian: $(file -b "$work/linux-$arch/$shipped")"
  done
  [ -x "$work/linux-$arch/wdxprobe" ] && [ -x "$work/linux-$arch/palm-samples" ] || fail "the $arch programs are not executable"
  infs+=("$work/linux-$arch/pluginst.inf")
  cmp -s "$work/linux-$arch/LICENSE" LICENSE || fail "the $arch archive's LICENSE differs from the tree's"
  cmp -s "$work/linux-$arch/wdx_Korvel.lng" packaging/wdx_Korvel.lng || fail "the $arch archive's wdx_Korvel.lng differs"

  # The Debian package: exactly these files, the same plug-in, ELF files of its architecture.
  deb=$work/first/wdx-korvel_${version}_$debian.deb
  listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sed 's| \./| |' | sort)
  want="-rw-r--r-- root/root usr/lib/doublecmd/plugins/wdx/korvel/wdx_Korvel.lng
-rw-r--r-- root/root usr/lib/doublecmd/plugins/wdx/korvel/wdx_Korvel.wdx
-rw-r--r-- root/root usr/share/doc/wdx-korvel/changelog.gz
-rw-r--r-- root/root usr/share/doc/wdx-korvel/copyright
-rw-r--r-- root/root usr/share/man/man1/palm-samples.1.gz
-rw-r--r-- root/root usr/share/man/man1/wdxprobe.1.gz
-rwxr-xr-x root/root usr/bin/palm-samples
-rwxr-xr-x root/root usr/bin/wdxprobe"
  [ "$listed" = "$(sort <<<"$want")" ] || fail "$(basename "$deb") holds:\n$listed"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$debian" ] || fail "$(basename "$deb") is not for $debian"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$(basename "$deb") says version $(dpkg-deb -f "$deb" Version)"
  dpkg-deb -x "$deb" "$work/deb-$debian"
  root=$work/deb-$debian
  for shipped in lib/doublecmd/plugins/wdx/korvel/wdx_Korvel.wdx lib/doublecmd/plugins/wdx/korvel/wdx_Korvel.lng \
    bin/wdxprobe bin/palm-samples; do
    cmp -s "$root/usr/$shipped" "$work/linux-$arch/$(basename "$shipped")" ||
      fail "the $debian package's $(basename "$shipped") differs from the $arch archive's"
  done
  for program in wdxprobe palm-samples; do
    file -b "$root/usr/bin/$program" | grep -q "^ELF $machine" || fail "$debian: /usr/bin/$program is not an ELF program for $debian"
    zcat "$root/usr/share/man/man1/$program.1.gz" | grep -q "^\.TH $(tr a-z A-Z <<<"$program") \"1\" .* \"$program $version\"" ||
      fail "$debian: the manual page of $program is not its own of version $version"
    for section in DESCRIPTION "EXIT STATUS" EXAMPLES "SEE ALSO"; do
      zcat "$root/usr/share/man/man1/$program.1.gz" | grep -qE "^\.SH \"?$section\"?$" ||
        fail "$debian: the manual page of $program has no $section"
    done
    ! zcat "$root/usr/share/man/man1/$program.1.gz" | grep -qE 'REQUIRED|UINT|TEXT \.\.\.' ||
      fail "$debian: the manual page of $program shows the option parser's types"
  done
done
timeout 600 lintian --fail-on error,warning "$work"/first/*.deb >"$work/lintian.txt" 2>&1 ||
  { cat "$work/lintian.txt" >&2; fail "lintian finds errors or warnings in the Debian packages (above)"; }
echo "ok: three archives and three Debian packages of the right architectures; lintian finds nothing"

for inf in "${infs[@]}"; do
  for key in '^\[plugininstall\]' '^description=.' '^type=wdx' '^file=wdx_Korvel.wdx' '^defaultdir=.' '^version=[0-9]'; do
    tr -d '\r' < "$inf" | grep -q "$key" || fail "$inf lacks $key"
  done
done

# The licence in both, and one version everywhere: the project, the archives'
# names, both pluginst.inf files, both DLLs' version resources, the change log.
tr -d '\r' < "$work/windows/LICENSE.txt" | cmp -s - LICENSE || fail "the zip's LICENSE.txt differs from the tree's"
versions=("$(basename "$zip_file")=$(basename "$zip_file" | sed -n 's/^wdx_Korvel-\(.*\)-windows.zip$/\1/p')"
  "CHANGELOG.md=$(sed -n 's/^## \[\([0-9][0-9.]*\)\].*/\1/p' CHANGELOG.md | head -1)")
for inf in "${infs[@]}"; do
  versions+=("$inf=$(tr -d '\r' < "$inf" | sed -n 's/^version=//p')")
done
for dll in "$work/windows/wdx_Korvel.wdx" "$work/windows/wdx_Korvel.wdx64"; do
  # The FileVersion text of the version resource, UTF-16 in the file.
  versions+=("$dll=$(python3 "$source_dir/tests/package/resource_version.py" "$dll")")
done
for entry in "${versions[@]}"; do
  [ "${entry##*=}" = "$version" ] || fail "${entry%=*} says version '${entry##*=}', the project $version"
done
echo "ok: version $version everywhere, the licence in every archive"

# Loaded from the unpacked archives by the archive's own wdxprobe, each
# plug-in gives exactly the expected values for the archive's own samples.
expected="$source_dir/tests/tools/wdxprobe/samples.expected.jsonl"
"$work/linux-x86_64/palm-samples" "$work/samples" >/dev/null
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
plugin_dir=usr/lib/doublecmd/plugins/wdx/korvel
# Each Debian package installed as a user installs it, where this test may
# (as root, not over an installed copy, and for ARM where that architecture's
# C library is installed: multiarch), then removed again; otherwise
# unpacked. Its own host and plug-in give the values, under qemu for ARM.
for architecture in $(cut -d' ' -f1 <<<"$linux_architectures"); do
  read -r preset debian archive triplet qemu_cpu < <(linux_architecture "$architecture")
  run=()
  [ "$qemu_cpu" = - ] || run=("$source_dir/scripts/qemu.sh" "$qemu_cpu")
  check "archive-$archive" "${run[@]}" "$work/linux-$archive/wdxprobe" "$work/linux-$archive/wdx_Korvel.wdx"
  deb=$work/first/wdx-korvel_${version}_$debian.deb
  if [ "$(id -u)" -ne 0 ] || dpkg-query -W wdx-korvel >/dev/null 2>&1 || ! installed "libc6:$debian"; then
    check "unpacked-$debian" "${run[@]}" "$work/deb-$debian/usr/bin/wdxprobe" "$work/deb-$debian/$plugin_dir/wdx_Korvel.wdx"
    continue
  fi
  trap 'dpkg --purge wdx-korvel >/dev/null 2>&1 || true' EXIT
  timeout 300 dpkg -i "$deb" >/dev/null || fail "dpkg -i $(basename "$deb") failed"
  for path in "/$plugin_dir/wdx_Korvel.wdx" /usr/bin/wdxprobe /usr/bin/palm-samples /usr/share/man/man1/wdxprobe.1.gz \
    /usr/share/doc/wdx-korvel/copyright; do
    [ -f "$path" ] || fail "$debian: installed, but $path is missing"
  done
  [ "$("${run[@]}" /usr/bin/wdxprobe --version)" = "wdxprobe $version" ] || fail "$debian: the installed wdxprobe is not $version"
  check "installed-$debian" "${run[@]}" /usr/bin/wdxprobe "/$plugin_dir/wdx_Korvel.wdx"
  timeout 300 dpkg --purge wdx-korvel >/dev/null || fail "dpkg --purge wdx-korvel failed"
  trap - EXIT
  [ ! -e "/$plugin_dir" ] && [ ! -e /usr/bin/wdxprobe ] && [ ! -e /usr/share/doc/wdx-korvel ] ||
    fail "$debian: removed, but files are left behind"
  echo "ok: $debian installed with dpkg -i, values given, removed"
done
WINEPREFIX="$source_dir/build/windows-x64/wineprefix" check windows-x64 \
  "$source_dir/scripts/wine.sh" "$work/windows/wdxprobe64.exe" "$work/windows/wdx_Korvel.wdx64"
WINEPREFIX="$source_dir/build/windows-x86/wineprefix" check windows-x86 \
  "$source_dir/scripts/wine.sh" "$work/windows/wdxprobe.exe" "$work/windows/wdx_Korvel.wdx"
# The zip's palm-samples.exe writes the same samples, byte for byte.
status=0
(cd "$work" && WINEPREFIX="$source_dir/build/windows-x86/wineprefix" timeout 300 "$source_dir/scripts/wine.sh" \
  "$work/windows/palm-samples.exe" windows-samples) >/dev/null || status=$?
if [ $status -eq 77 ]; then
  echo "windows palm-samples.exe: not run"
else
  [ $status -eq 0 ] || fail "the zip's palm-samples.exe: exit status $status"
  diff -r "$work/samples" "$work/windows-samples" >/dev/null || fail "the zip's palm-samples.exe writes other samples"
  echo "ok: the zip's palm-samples.exe"
fi
rm -rf "$work"
