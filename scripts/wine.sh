#!/bin/sh
# Runs a Windows program under Wine with the loader of its architecture.
#
# Debian's `wine` starts every program through the 32-bit loader, which hands
# 64-bit programs on to the 64-bit one; a kernel built without 32-bit support
# (some virtual machines) cannot start that loader at all. So a 64-bit
# program goes straight to the 64-bit loader, and when a 32-bit one cannot
# run here this says so and exits 77, the code the tests report as not run.
#
# Usage: wine.sh PROGRAM.exe [ARGUMENT...]
#        wine.sh --check-32-bit [WHAT]
# PROGRAM may also be a path on the prefix's drive C: (C:\Folder\x.exe), so
# that the program sees itself there, as when installed.
set -eu
# Wine's environment for every program run here: quiet, and without its
# offers to install Mono and Gecko, which nothing here needs. WINEPREFIX is
# the caller's.
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Debian's `wine` falls back to the 64-bit loader when wine32:i386 is
# missing, so only the 32-bit loader itself tells whether 32-bit programs run.
loader32=/usr/lib/wine/wine
why_32bit_cannot_run() {
  if [ ! -x "$loader32" ]; then
    echo "32-bit Wine (wine32:i386) is not installed: setup could not install it, and said why"
  elif ! "$loader32" --version >/dev/null 2>&1; then
    echo "32-bit Wine cannot start on this machine (its kernel runs no 32-bit programs: $(uname -r))"
  fi
}
if [ "$1" = --check-32-bit ]; then # says NOT RUN and exits 77 where 32-bit programs cannot run
  why=$(why_32bit_cannot_run)
  [ -z "$why" ] || { echo "NOT RUN: ${2:-this test} needs 32-bit Wine. $why"; exit 77; }
  exit 0
fi
program=$1
case $program in
[Cc]:\\*) program=${WINEPREFIX:-$HOME/.wine}/drive_c/$(printf '%s' "${program#??\\}" | tr '\\' /) ;;
esac
loader64=/usr/lib/wine/wine64
[ -x "$loader64" ] || loader64=$(command -v wine64 || true)
case $(file -b -- "$program") in
PE32+*)
  if [ -n "$loader64" ]; then
    WINELOADER=$loader64 exec "$loader64" "$@"
  fi
  exec wine "$@"
  ;;
esac
why=$(why_32bit_cannot_run)
if [ -n "$why" ]; then
  echo "NOT RUN: $program is a 32-bit program. $why" >&2
  exit 77
fi
exec wine "$@"
