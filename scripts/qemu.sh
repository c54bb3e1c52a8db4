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
. "$(dirname "$0")/linux_architectures.sh"
line=$(linux_architecture "$processor") || line=
read -r _ debian _ triplet qemu_cpu <<END
$line
END
if [ "$qemu_cpu" != "$processor" ]; then
  echo "qemu.sh: unknown processor $processor" >&2
  exit 2
fi
if [ ! -e "/usr/lib/$triplet/libc.so.6" ]; then
  echo "NOT RUN: $1 is an $debian program and libc6:$debian is not installed: setup could not install it, and said why" >&2
  exit 77
fi
exec "qemu-$processor-static" "$@"
