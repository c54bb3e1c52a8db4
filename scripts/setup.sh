#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# when they are missing. As root it runs apt-get; otherwise it prints the
# apt-get line to run and stops.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 wine32:i386
  googletest libbenchmark-dev libcli11-dev nlohmann-json3-dev
  clang-14 libclang-rt-14-dev libfuzzer-14-dev valgrind
  file zip unzip python3
  doublecmd-plugins locales
)

# 32-bit Wine, for the 32-bit DLL's tests, comes from the i386 architecture.
need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
# Locales the tests run in: Wine takes its ANSI code page from the locale.
locales=(en_US.UTF-8 ja_JP.UTF-8 ru_RU.UTF-8)
missing_locales=()
for name in "${locales[@]}"; do
  locale -a 2>/dev/null | grep -qix "${name%.UTF-8}.utf8" || missing_locales+=("$name")
done

generate_locales() {
  [ ${#missing_locales[@]} -gt 0 ] || return 0
  for name in "${missing_locales[@]}"; do
    grep -qx "$name UTF-8" /etc/locale.gen || echo "$name UTF-8" >>/etc/locale.gen
  done
  locale-gen >/dev/null
}

if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
  [ ${#missing_locales[@]} -eq 0 ] && exit 0
  [ "$(id -u)" -eq 0 ] || { echo "Missing locales ${missing_locales[*]}: add them to /etc/locale.gen and run locale-gen as root" >&2; exit 1; }
  generate_locales
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages; install them as root with:" >&2
  [ $need_i386 -eq 0 ] || echo "  dpkg --add-architecture i386" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
[ $need_i386 -eq 0 ] || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
generate_locales
