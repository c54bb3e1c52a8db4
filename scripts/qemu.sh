#!/bin/sh
# Runs a Linux program of another processor under qemu's user-mode emulator,
# over the C library that Debian installs for that architecture (multiarch),
# and exits 77, the code the tests report as not run, with a line that says
# why where that library is missing.
#
# Usage: qemu.sh PROCESSOR PROGRAM [ARGUMENT...]   (PROCESSOR: aarch64 or arm)
set -eu
processor=$1
shift
case $processor in
aarch64) debian=arm64 triple=aarch64-linux-gnu ;;
arm) debian=armhf triple=arm-linux-gnueabihf ;;
*) echo "qemu.sh: unknown processor $processor" >&2; exit 2 ;;
esac
if [ ! -e "/usr/lib/$triple/libc.so.6" ]; then
  echo "NOT RUN: $1 is an $debian program and libc6:$debian is not installed: setup could not install it, and said why" >&2
  exit 77
fi
exec "qemu-$processor-static" "$@"
