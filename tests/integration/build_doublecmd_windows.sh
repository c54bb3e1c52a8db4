#!/usr/bin/env bash
# Builds Double Commander for Windows from its source with Debian's own Free
# Pascal and Lazarus, for the tests that run it under Wine: a portable
# Double Commander (doublecmd.exe, its default settings and icons, and its
# zip plug-in, with which it opens our zip). Builds are kept in a cache
# keyed by the source's checksum and this script's, so later runs reuse them.
# Prints the folder of each build, one line per architecture asked for.
#
# Usage: build_doublecmd_windows.sh CACHE_ROOT ARCH...   (ARCH: x86_64 or i386)
#
# The source: $KORVEL_DOUBLECMD_SOURCE (the release tarball), else the one in
# ../shared/third_party/ beside the project, else the tagged release fetched
# from Double Commander's public repository where the machine can reach it.
set -euo pipefail
cache_root=$(realpath -m "$1")
shift
project=$(cd "$(dirname "$0")/../.." && pwd)
version=1.1.32
source "$project/tests/integration/common.sh"
log() { echo "doublecmd-windows: $*" >&2; }

# 1. The source.
source_tarball=${KORVEL_DOUBLECMD_SOURCE:-$project/../shared/third_party/doublecmd-$version.tar.xz}
if [ ! -f "$source_tarball" ]; then
  fetched=$cache_root/doublecmd-$version.tar.xz
  if [ ! -f "$fetched" ]; then
    log "no $source_tarball; fetching the tag v$version"
    mkdir -p "$cache_root"
    clone=$(mktemp -d)
    if timeout 300 git clone -q --depth 1 --branch "v$version" https://github.com/doublecmd/doublecmd.git \
      "$clone/doublecmd" 2>/dev/null; then
      git -C "$clone/doublecmd" archive --prefix="doublecmd-$version/" "v$version" | xz >"$fetched"
    fi
    rm -rf "$clone"
  fi
  [ -f "$fetched" ] || fail "cannot find or fetch Double Commander $version's source: put its release tarball" \
    "(git archive --prefix=doublecmd-$version/ v$version | xz) at $source_tarball, or name it in KORVEL_DOUBLECMD_SOURCE"
  source_tarball=$fetched
fi
key=$(cat "$source_tarball" "$0" | sha256sum | cut -c1-16)
cache=$cache_root/$key
# Builds of another source or another version of this script are not used again.
find "$cache_root" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} + 2>/dev/null || true

# 2. What the build needs, when missing.
install_missing fpc-source lazarus-src lcl-2.2 lcl-utils-2.2 fp-compiler binutils-mingw-w64-x86-64 \
  binutils-mingw-w64-i686 xz-utils

# 3. Free Pascal's run-time library and packages for a Windows target.
# Debian's fpc-source holds only the Makefile.fpc files: the makefiles are
# made anew, with the CPU file it lacks, and without the text-mode IDE, whose
# compiler messages are not shipped.
build_units() { # compiler, target (win64 or win32), cpu
  local compiler=$1 target=$2 cpu=$3 units=$cache/fpc-$2
  [ -f "$units/done" ] && return
  rm -rf "$units"
  mkdir -p "$units"
  cp -r /usr/share/fpcsrc/3.2.2/rtl /usr/share/fpcsrc/3.2.2/packages "$units/"
  printf 'CPUNAMES=%s\nCPUINCNAMES=$(addsuffix .inc,$(CPUNAMES))\n' "$cpu" >"$units/rtl/$cpu/makefile.cpu"
  sed -i 's|^\(\s*\)add_ide(|\1// add_ide(|' "$units/packages/fpmake_add.inc"
  (cd "$units/rtl" && fpcmake -Tall -r >/dev/null && make -j2 all OS_TARGET="$target" CPU_TARGET="$cpu" FPC="$compiler") \
    >"$units/build.log" 2>&1 || fail "the $target run-time library did not build; see $units/build.log"
  (cd "$units/packages" && fpcmake -Tall -r >/dev/null && make all OS_TARGET="$target" CPU_TARGET="$cpu" FPC="$compiler" \
    FPMAKEOPT="-T 2") >>"$units/build.log" 2>&1 || fail "the $target packages did not build; see $units/build.log"
  touch "$units/done"
}

# The 32-bit compiler is in Debian's i386 package only; statically linked, it
# runs wherever the kernel runs 32-bit programs.
i386_compiler() {
  local folder=$cache/fp-compiler-i386
  local compiler=$folder/usr/lib/i386-linux-gnu/fpc/3.2.2/ppc386
  if [ ! -x "$compiler" ]; then
    mkdir -p "$folder"
    (cd "$folder" && apt-get download -q "fp-compiler-3.2.2:i386" >/dev/null 2>&1 && dpkg-deb -x fp-compiler-3.2.2_*_i386.deb .) ||
      fail "cannot download Debian's fp-compiler-3.2.2:i386"
  fi
  "$compiler" -iV >/dev/null 2>&1 || fail "the 32-bit compiler cannot run here: this kernel runs no 32-bit programs"
  echo "$compiler"
}

build_doublecmd() { # arch
  local arch=$1 target cpu compiler windres out=$cache/$1
  [ -f "$out/doublecmd/doublecmd.exe" ] && { echo "$out/doublecmd"; return; }
  case $arch in
  x86_64) target=win64 cpu=x86_64 compiler=/usr/bin/ppcx64 windres=x86_64-w64-mingw32-windres ;;
  i386) target=win32 cpu=i386 compiler=$(i386_compiler) windres=i686-w64-mingw32-windres ;;
  *) fail "unknown architecture $arch" ;;
  esac
  log "building Double Commander $version for $target (a few minutes, once)"
  build_units "$compiler" "$target" "$cpu"
  rm -rf "$out"
  mkdir -p "$out"
  # A compiler configuration of its own: the system's, the units built above
  # and MinGW-w64's resource compiler.
  {
    echo "#include /etc/fpc.cfg"
    echo "-FC/usr/bin/$windres"
    echo "-Fu$cache/fpc-$target/rtl/units/$cpu-$target"
    for folder in "$cache/fpc-$target"/packages/*/units/"$cpu-$target"; do echo "-Fu$folder"; done
  } >"$out/fpc.cfg"
  cp -r /usr/lib/lazarus/2.2.6 "$out/lazarus"
  tar -xJf "$source_tarball" -C "$out"
  local source=$out/doublecmd-$version
  local lazbuild=(lazbuild "--pcp=$out/lazarus-config" "--lazarusdir=$out/lazarus" "--compiler=$compiler"
    "--os=$target" "--cpu=$cpu" --ws=win32)
  (
    export PPC_CONFIG_PATH=$out
    cd "$source/components"
    for package in chsdet/chsdet.lpk multithreadprocs/multithreadprocslaz.lpk kascrypt/kascrypt.lpk \
      doublecmd/doublecmd_common.lpk Image32/Image32.lpk KASToolBar/kascomp.lpk viewer/viewerpackage.lpk \
      gifanim/pkg_gifanim.lpk synunihighlighter/synuni.lpk virtualterminal/virtualterminal.lpk; do
      "${lazbuild[@]}" "$package" || exit 1
    done
    cd "$source" || exit 1
    "${lazbuild[@]}" src/doublecmd.lpi --bm=release || exit 1
    # The same program once more, asking in its manifest for UTF-8 as its
    # ANSI code page, as Windows 10 and 11 allow: doublecmd-utf8.exe.
    # Its manifest is its own (src/doublecmd.exe.manifest, compiled in by the
    # main program), so the main program is compiled again with it.
    mv doublecmd.exe doublecmd-ansi.exe
    sed -i 's|<ws2:longPathAware>true</ws2:longPathAware>|&<ws3:activeCodePage xmlns:ws3="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</ws3:activeCodePage>|' \
      src/doublecmd.exe.manifest
    grep -q 'activeCodePage' src/doublecmd.exe.manifest || exit 1
    touch src/doublecmd.lpr
    "${lazbuild[@]}" src/doublecmd.lpi --bm=release || exit 1
    mv doublecmd.exe doublecmd-utf8.exe
    mv doublecmd-ansi.exe doublecmd.exe
    "${lazbuild[@]}" plugins/wcx/zip/src/Zip.lpi || exit 1
  ) >"$out/build.log" 2>&1 || fail "Double Commander did not build for $target; see $out/build.log"
  # Portable: an empty doublecmd.inf beside it keeps its settings in settings/.
  local portable=$out/doublecmd
  mkdir -p "$portable/settings" "$portable/plugins/wcx/zip"
  cp "$source/doublecmd.exe" "$source/doublecmd-utf8.exe" "$portable/"
  cp -r "$source/default" "$source/pixmaps" "$portable/"
  cp "$source/plugins/wcx/zip/zip.wcx" "$portable/plugins/wcx/zip/"
  : >"$portable/settings/doublecmd.inf"
  # Only the portable folder is used again.
  rm -rf "$out/lazarus" "$source" "$cache/fpc-$target"
  echo "$portable"
}

for arch in "$@"; do build_doublecmd "$arch"; done
