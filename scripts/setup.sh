#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# when they are missing. As root it runs apt-get; otherwise it prints the
# apt-get line to run and stops.
#
# Packages of another architecture (name:arch: 32-bit Wine, the C libraries
# that ARM programs run on under qemu) are installed last, one by one, and
# may be left out: the archive's index of an architecture can be out of step
# for hours ("Mirror sync in progress?"), or its versions skewed against
# amd64's. Setup then says so in one line and goes on, and the tests that
# need them report NOT RUN. Any other package that cannot be installed stops
# setup.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 wine32:i386
  g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user-static libc6:arm64 libc6:armhf
  lintian help2man
  googletest libbenchmark-dev libcli11-dev nlohmann-json3-dev
  clang-14 lld-14 libclang-rt-14-dev libfuzzer-14-dev valgrind
  file zip unzip python3
  doublecmd-plugins locales mmdebstrap
)

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
native=()
foreign=()
for package in "${missing[@]}"; do
  case $package in
  *:*) foreign+=("$package") ;;
  *) native+=("$package") ;;
  esac
done
architectures=$(printf '%s\n' "${foreign[@]}" | sed -n 's/.*://p' | sort -u)
need_architectures=()
for arch in $architectures; do
  dpkg --print-foreign-architectures | grep -qx "$arch" || need_architectures+=("$arch")
done

# Locales the tests run in: Wine takes its ANSI code page from the locale,
# and Double Commander its charset (ru_RU.CP1251, a legacy one).
locales=(en_US.UTF-8 ja_JP.UTF-8 ru_RU.UTF-8 ru_RU.CP1251)
missing_locales=()
for name in "${locales[@]}"; do
  # locale -a names them in lower case without dashes: ru_RU.utf8, ru_RU.cp1251.
  listed="${name%%.*}.$(printf '%s' "${name#*.}" | tr -d -- - | tr '[:upper:]' '[:lower:]')"
  locale -a 2>/dev/null | grep -qix "$listed" || missing_locales+=("$name")
done

generate_locales() {
  [ ${#missing_locales[@]} -gt 0 ] || return 0
  for name in "${missing_locales[@]}"; do
    grep -qx "$name ${name#*.}" /etc/locale.gen || echo "$name ${name#*.}" >>/etc/locale.gen
  done
  locale-gen >/dev/null
}

if [ ${#missing[@]} -eq 0 ]; then
  [ ${#missing_locales[@]} -eq 0 ] && exit 0
  [ "$(id -u)" -eq 0 ] || { echo "Missing locales ${missing_locales[*]}: add them to /etc/locale.gen and run locale-gen as root" >&2; exit 1; }
  generate_locales
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages; install them as root with:" >&2
  for arch in "${need_architectures[@]}"; do echo "  dpkg --add-architecture $arch" >&2; done
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
for arch in "${need_architectures[@]}"; do dpkg --add-architecture "$arch"; done
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# An index that fails to download is often whole again a little later. After
# the last try apt keeps what it fetched, and the installs below tell whether
# that is enough.
for try in 1 2 3; do
  timeout 600 apt-get update -qq >"$log" 2>&1 && break
  [ $try -eq 3 ] && { echo "apt-get update failed three times; going on with the indexes it has:" >&2; grep '^E:' "$log" | head -3 >&2; break; }
  sleep $((try * 10))
done

update_errors=$(grep -E '^E: Failed to fetch' "$log" || true)
install() { timeout 1800 apt-get install -y -qq "$@" >"$log" 2>&1; }
if [ ${#native[@]} -gt 0 ] && ! install "${native[@]}"; then
  cat "$log" >&2
  echo "setup: cannot install ${native[*]}; the build needs them" >&2
  exit 1
fi
for package in "${foreign[@]}"; do
  install "$package" && continue
  reason=$(grep -m1 -E '^E: ' "$log" | cut -c4- | cut -c1-120 || true)
  arch=${package##*:}
  if grep -q "binary-$arch/" <<<"$update_errors"; then
    reason="the archive's $arch index could not be fetched: $(grep -m1 "binary-$arch/" <<<"$update_errors" |
      sed -E 's/^E: Failed to fetch [^ ]+ +//; s/ *\[IP[^]]*\]$//' | cut -c1-100)"
  fi
  echo "setup: left out $package (${reason:-apt-get install failed}); the tests that need it report NOT RUN" >&2
done
generate_locales
