#!/usr/bin/env bash
# Builds the install packages into dist/ (or the folder given):
#   wdx_Korvel-VERSION-windows.zip         32-bit DLL as wdx_Korvel.wdx, 64-bit DLL as wdx_Korvel.wdx64,
#                                          wdxprobe.exe (32-bit) and wdxprobe64.exe to load each,
#                                          palm-samples.exe (32-bit, for every Windows)
#   wdx_Korvel-VERSION-linux-ARCH.tar.gz   the ELF library as wdx_Korvel.wdx, wdxprobe and
#                                          palm-samples (x86_64, aarch64, armhf)
# each with the field names' translations (wdx_Korvel.lng, beside the
# plug-in, where Double Commander looks for them), the pluginst.inf by which a
# host installs the plug-in from the archive, and the licence (LICENSE.txt,
# pluginst.inf and the translations with Windows line ends in the zip);
#   wdx-korvel_VERSION_ARCH.deb            Debian packages (amd64, arm64, armhf): the
#     plug-in and its translations where Double Commander keeps packaged
#     plug-ins, wdxprobe and palm-samples with their manual pages, the
#     copyright and the change log.
# The same commit always gives the same bytes: timestamps are the commit's,
# names are sorted, owners are zeroed, and the DLLs carry no timestamp.
#
# KORVEL_PACKAGES, when set, names the presets to package (linux,
# linux-arm64, linux-armhf, windows: both DLLs); by default all of them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/common.sh"
source "$root/scripts/linux_architectures.sh"
dist="$(realpath -m "${1:-$root/dist}")"
cd "$root"

epoch=$(git log -1 --format=%ct 2>/dev/null || echo 946684800)
export SOURCE_DATE_EPOCH=$epoch

read -r -a wanted <<<"${KORVEL_PACKAGES:-linux linux-arm64 linux-armhf windows}"
# Builds the preset's targets.
build() { # preset, targets...
  build_preset "$@" >/dev/null
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$dist"
stamp() { find "$1" -exec touch -h -d "@$epoch" {} +; }
inf() { sed "s/@VERSION@/$1/" packaging/pluginst.inf.in; } # version

# The manual pages: the options from the programs' own --help, by help2man
# (the programs of this machine: the text is the same on every processor),
# with the description, output, examples and references of
# packaging/man/PROGRAM.h2m; the exit codes that close --help become a
# section of their own.
manuals() {
  build linux wdxprobe palm-samples
  mkdir -p "$stage/man"
  local program name
  for program in wdxprobe palm-samples; do
    case $program in
    wdxprobe) name="show the values a content plug-in gives for files" ;;
    palm-samples) name="write sample Palm OS databases" ;;
    esac
    help2man -N --name "$name" --include "packaging/man/$program.h2m" "build/linux/tools/$program" |
      sed 's/^\.SS "Exit status:"$/.SH "EXIT STATUS"/' | gzip -n -9 >"$stage/man/$program.1.gz"
  done
}

# The lowest C library version any of the ELF files asks for.
libc_needed() {
  readelf -W --dyn-syms "$@" | grep -o '@GLIBC_[0-9.]*' | sed 's/@GLIBC_//' | sort -V | tail -1
}

linux_packages() { # preset
  local preset debian archive triplet qemu_cpu
  read -r preset debian archive triplet qemu_cpu < <(linux_architecture "$1")
  build "$preset" wdx_Korvel wdxprobe palm-samples
  local version copyright
  version=$(project_version "$preset")
  copyright=$(project_copyright "$preset")
  local tools="$stage/$preset-tools"
  mkdir -p "$tools"
  install -m 755 "build/$preset/tools/wdxprobe" "build/$preset/tools/palm-samples" "$tools/"
  "$triplet-strip" --remove-section=.comment --strip-unneeded "$tools/"*

  local tree="$stage/$preset-tar"
  mkdir -p "$tree"
  inf "$version" >"$tree/pluginst.inf"
  install -m 644 "build/$preset/wdx_Korvel.wdx" packaging/wdx_Korvel.lng LICENSE "$tree/"
  install -m 755 "$tools/"* "$tree/"
  stamp "$tree"
  local tarball="$dist/wdx_Korvel-$version-linux-$archive.tar.gz"
  tar -C "$tree" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner --format=gnu \
    -cf - LICENSE palm-samples pluginst.inf wdx_Korvel.lng wdx_Korvel.wdx wdxprobe | gzip -n -9 >"$tarball"
  echo "$tarball"

  local deb="$stage/$preset-deb" doc="usr/share/doc/wdx-korvel"
  mkdir -p "$deb/DEBIAN" "$deb/usr/bin" "$deb/usr/lib/doublecmd/plugins/wdx/korvel" "$deb/usr/share/man/man1" "$deb/$doc"
  install -m 644 "build/$preset/wdx_Korvel.wdx" packaging/wdx_Korvel.lng "$deb/usr/lib/doublecmd/plugins/wdx/korvel/"
  install -m 755 "$tools/"* "$deb/usr/bin/"
  install -m 644 "$stage/man/"*.1.gz "$deb/usr/share/man/man1/"
  local maintainer
  maintainer=$(sed -n 's/^Maintainer: //p' packaging/debian/control.in)
  python3 packaging/debian/changelog.py CHANGELOG.md wdx-korvel "$maintainer" | gzip -n -9 >"$deb/$doc/changelog.gz"
  # The licence text as the copyright format wants it: indented, blank lines as " .".
  sed '1,/^Copyright/d' LICENSE | sed '1{/^$/d}; s/^$/./; s/^/ /' >"$stage/licence"
  sed -e "s/@COPYRIGHT@/$copyright/" -e "/@LICENSE@/{r $stage/licence" -e 'd}' packaging/debian/copyright.in \
    >"$deb/$doc/copyright"
  chmod 644 "$deb/$doc/"*
  # Installed-Size counts each file in whole KiB, as dpkg-gencontrol does.
  local size
  size=$(find "$deb" -path "$deb/DEBIAN" -prune -o -type f -printf '%s\n' | awk '{k += int(($1 + 1023) / 1024)} END {print k}')
  sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$debian/" -e "s/@SIZE@/$size/" \
    -e "s/@LIBC@/$(libc_needed "$deb/usr/bin/"* "$deb/usr/lib/doublecmd/plugins/wdx/korvel/wdx_Korvel.wdx")/" \
    packaging/debian/control.in >"$deb/DEBIAN/control"
  (cd "$deb" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$deb/DEBIAN/md5sums"
  chmod 644 "$deb/DEBIAN/"*
  stamp "$deb"
  local package="$dist/wdx-korvel_${version}_$debian.deb"
  dpkg-deb --root-owner-group -Zxz --build "$deb" "$package" >/dev/null
  echo "$package"
}

windows_package() {
  build windows-x64 wdx_Korvel wdxprobe
  build windows-x86 wdx_Korvel wdxprobe palm-samples
  local version
  version=$(project_version windows-x86)
  local tree="$stage/windows"
  mkdir -p "$tree"
  inf "$version" | sed 's/$/\r/' >"$tree/pluginst.inf"
  sed 's/$/\r/' packaging/wdx_Korvel.lng >"$tree/wdx_Korvel.lng"
  sed 's/$/\r/' LICENSE >"$tree/LICENSE.txt"
  # Each wdxprobe loads the DLL of its own width, named as Double Commander names them.
  cp build/windows-x86/wdx_Korvel.wdx "$tree/wdx_Korvel.wdx"
  cp build/windows-x64/wdx_Korvel.wdx "$tree/wdx_Korvel.wdx64"
  cp build/windows-x86/tools/wdxprobe.exe "$tree/wdxprobe.exe"
  cp build/windows-x64/tools/wdxprobe.exe "$tree/wdxprobe64.exe"
  cp build/windows-x86/tools/palm-samples.exe "$tree/palm-samples.exe"
  chmod 644 "$tree"/*
  stamp "$tree"
  local zip_file="$dist/wdx_Korvel-$version-windows.zip"
  rm -f "$zip_file"
  # zip stores local time: fix the zone so that every machine writes the same.
  (cd "$tree" && TZ=UTC zip -q -X -D "$zip_file" LICENSE.txt palm-samples.exe pluginst.inf wdx_Korvel.lng \
    wdx_Korvel.wdx wdx_Korvel.wdx64 wdxprobe.exe wdxprobe64.exe)
  echo "$zip_file"
}

for wanted_preset in "${wanted[@]}"; do
  if [ "$wanted_preset" = windows ]; then
    windows_package
  elif [ "$(linux_architecture "$wanted_preset" | cut -d' ' -f1)" = "$wanted_preset" ]; then
    [ -d "$stage/man" ] || manuals
    linux_packages "$wanted_preset"
  else
    echo "package.sh: no packages for $wanted_preset" >&2
    exit 2
  fi
done
