#!/usr/bin/env bash
# Integration test in Debian 13's Double Commander of one toolkit: the Linux
# test (doublecmd_linux_test.sh) run in a Debian 13 root of that toolkit
# (debian_root.sh), in a copy made for the run and a mount namespace of its
# own, where our amd64 package is installed with apt as a user installs it.
# The GTK run has Double Commander add the plug-in from our tar.gz itself
# (cm_AddPlugin).
#
# Usage: doublecmd_debian13_test.sh SOURCE_DIR WORK_DIR SCREENSHOT gtk|qt
set -euo pipefail
source_dir=$1
work=$2
screenshot=$3
toolkit=$4

source "$source_dir/tests/integration/common.sh"
source "$source_dir/scripts/linux_architectures.sh"
read -r preset _ < <(linux_architecture amd64)

[ "$(id -u)" -eq 0 ] || { echo "NOT RUN: the run in a Debian 13 root needs root (chroot, mounts)"; exit 77; }
timeout 10 unshare --mount true 2>/dev/null ||
  { echo "NOT RUN: this machine gives no mount namespace (unshare --mount), which the Debian 13 root needs"; exit 77; }
root=$("$source_dir/tests/integration/debian_root.sh" "$source_dir" "$toolkit") || exit $?
rm -rf --one-file-system "$work"
mkdir -p "$work/run"
packages=$(KORVEL_PACKAGES=$preset "$source_dir/scripts/package.sh" "$work/run/dist")
options=(--toolkit "$toolkit" --install "$(echo "$packages" | grep '\.deb$')")
[ "$toolkit" != gtk ] || options+=(--add-archive "$(echo "$packages" | grep '\.tar\.gz$')")
cp -a "$root" "$work/root"
# Inside: the source read-only and the run's folder at the same paths, this
# machine's /dev, and its /tmp, where Xvfb's sockets and locks are.
status=0
timeout 600 unshare --mount --propagation private -- bash -c '
  set -e
  root=$1 source_dir=$2 run=$3
  mkdir -p "$root$source_dir" "$root$run"
  mount --bind -o ro "$source_dir" "$root$source_dir"
  mount --bind "$run" "$root$run"
  mount --rbind /dev "$root/dev"
  mount --bind /tmp "$root/tmp"
  mount -t proc proc "$root/proc"
  shift 3
  exec chroot "$root" "$@"' - "$work/root" "$source_dir" "$work/run" \
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  bash "$source_dir/tests/integration/doublecmd_linux_test.sh" "$source_dir" "$work/run/test" "$work/run/panel.png" \
  "${options[@]}" || status=$?
[ $status -ne 124 ] || fail "the run in the Debian 13 root did not end in 600 s"
[ ! -f "$work/run/panel.png" ] || cp "$work/run/panel.png" "$screenshot"
# The copy goes; the mounts went with their namespace.
rm -rf --one-file-system "$work/root"
exit $status
