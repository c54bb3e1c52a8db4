#!/usr/bin/env bash
# Makes, or finds made, a Debian 13 root holding Double Commander of one
# toolkit, Xvfb and the tools the file-manager test drives it with, so that
# the test runs as on a Debian 13 desktop. Prints the root's folder.
#
# Roots are kept under build/debian-trixie/, named by a hash of how they are
# made (the package list, the locales): one is made again only when that
# changes. The packages and apt's lists of the last making are kept beside
# them, so that a root can be made again without the network. Where it can
# be made neither way, says NOT RUN and exits 77.
#
# The archive is the one this machine's apt takes its own Debian release
# from, its mirror or proxy as configured; the root's apt keeps it.
#
# Usage: debian_root.sh SOURCE_DIR TOOLKIT   (TOOLKIT: gtk or qt)
set -euo pipefail
source_dir=$1
toolkit=$2
source "$source_dir/tests/integration/common.sh"
suite=trixie
cache=$source_dir/build/debian-$suite
packages=(doublecmd-"$toolkit" "${screen_test_packages[@]}")
locales=(ru_RU.UTF-8 ja_JP.UTF-8)

how=(
  --variant=apt --include="$(IFS=,; echo "${packages[*]}")"
  --customize-hook="printf '%s UTF-8\n' ${locales[*]} >>\"\$1/etc/locale.gen\" && chroot \"\$1\" locale-gen >/dev/null"
)
root=$cache/$toolkit-$(printf '%s\n' "$suite" "${how[@]}" | sha256sum | cut -c1-16)
if [ -d "$root" ]; then
  echo "$root"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "NOT RUN: making a Debian $suite root needs root (chroot, mounts)" >&2
  exit 77
fi
command -v mmdebstrap >/dev/null || fail "mmdebstrap is missing (scripts/setup.sh installs it)"

# The packages are kept through apt's cache: .debs already there are not
# fetched again, and those of the essential set are not unlinked after use.
mkdir -p "$cache/debs" "$cache/lists"
keep=(
  --skip=essential/unlink
  --setup-hook='mkdir -p "$1/var/cache/apt/archives" "$1/var/lib/apt/lists"'
  --setup-hook="sync-in $cache/debs /var/cache/apt/archives/"
  --customize-hook="sync-out /var/cache/apt/archives $cache/debs"
)
# The first URI of an entry for this machine's release in apt's sources
# (deb822 stanzas in sources.list.d/*.sources, one-line entries elsewhere).
machine_archive() {
  local release file
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$release" ] || return 0
  {
    for file in /etc/apt/sources.list.d/*.sources; do
      [ -f "$file" ] || continue
      awk -v release="$release" '
        function flush() { if (deb && uri != "" && suite) print uri; deb = 0; uri = ""; suite = 0 }
        /^[[:space:]]*$/ { flush(); next }
        /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
        /^URIs:/ { uri = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == release) suite = 1 }
        END { flush() }' "$file"
    done
    # (either file may be missing)
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      sed -E 's/\[[^]]*\]//' | awk -v release="$release" '$1 == "deb" && $3 == release { print $2 }' || true
  } | sed -n 1p # reads to the end: no writer is cut off
}
archive=$(machine_archive)
make_root() { # archive, extra mmdebstrap options...
  local from=$1
  shift
  rm -rf --one-file-system "$root.new"
  timeout 900 mmdebstrap --quiet "${how[@]}" "${keep[@]}" "$@" "$suite" "$root.new" "$from" >>"$cache/make.log" 2>&1
}
: >"$cache/make.log"
started=$SECONDS
# The kept lists are named after the archive they came from: without the
# network the root is made from that one.
if [ -n "$archive" ] && make_root "$archive" --customize-hook="sync-out /var/lib/apt/lists $cache/lists"; then
  echo "$archive" >"$cache/archive"
  echo "made $root in $((SECONDS - started)) s from $archive" >&2
elif [ -f "$cache/archive" ] && [ -n "$(find "$cache/lists" -name '*Packages*' -print -quit)" ] &&
  make_root "$(cat "$cache/archive")" --setup-hook="sync-in $cache/lists /var/lib/apt/lists/" --skip=update; then
  echo "made $root in $((SECONDS - started)) s from the kept packages and lists (the archive could not be reached)" >&2
else
  rm -rf --one-file-system "$root.new"
  if [ -z "$archive" ]; then
    echo "NOT RUN: no Debian $suite root could be made: this machine's apt names no archive for its release, and no packages were kept from before" >&2
  else
    echo "NOT RUN: no Debian $suite root could be made: $archive could not be reached, nor were its packages kept from before:" >&2
    tail -3 "$cache/make.log" >&2
  fi
  exit 77
fi
# One root per toolkit: the one made before is no longer needed.
find "$cache" -mindepth 1 -maxdepth 1 -type d -name "$toolkit-*" ! -name "$(basename "$root").new" \
  -exec rm -rf --one-file-system {} +
mv "$root.new" "$root"
echo "$root"
