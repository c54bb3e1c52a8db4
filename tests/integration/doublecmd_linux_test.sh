#!/usr/bin/env bash
# Integration test in a real file manager: Double Commander, installed from
# Debian, shows the Palm fields through the plug-in of our Debian package,
# and every row of its file panel matches what the command-line host of the
# same package reports through the same library. It runs once per locale,
# each time with a database named in that locale's language, whose name
# must show exactly as written. Saves a screenshot of the panel.
#
# With ARCH arm64 or armhf, all of it is Debian's build of Double Commander
# for that architecture and our package of it, run under qemu. Double
# Commander's packages are fetched and unpacked (not installed, which would
# replace this machine's own) into a cache under build/, one folder per set
# of package versions.
#
# With --install DEB (in a Debian 13 root, doublecmd_debian13_test.sh), our
# package is installed with apt as a user installs it, and the installed
# Double Commander of TOOLKIT is used. With --add-archive TAR_GZ the plug-in
# is added to Double Commander as the README's users of 1.1 may: cm_AddPlugin
# given our tar.gz, which installs it from the archive. Otherwise the entry
# is added to doublecmd.xml while Double Commander is closed, as the README
# tells administrators.
#
# Usage: doublecmd_linux_test.sh SOURCE_DIR WORK_DIR SCREENSHOT [ARCH]
#          [--install DEB --toolkit gtk|qt [--add-archive TAR_GZ]]
# (ARCH: any of the architecture's names in scripts/linux_architectures.sh)
set -euo pipefail
source_dir=$1
work=$2
screenshot=$3
shift 3
where=amd64
[ $# -eq 0 ] || [ "${1#--}" != "$1" ] || { where=$1; shift; }
install_package= add_archive= toolkit=gtk
while [ $# -gt 0 ]; do
  case $1 in
  --install) install_package=$2 ;;
  --add-archive) add_archive=$2 ;;
  --toolkit) toolkit=$2 ;;
  *) echo "doublecmd_linux_test.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done

source "$source_dir/tests/integration/common.sh"
source "$source_dir/scripts/linux_architectures.sh"
read -r preset arch _ _ qemu_cpu < <(linux_architecture "$where") || fail "no Linux architecture named $where"

# 1. What it needs, when missing.
install_missing doublecmd-"$toolkit" "${screen_test_packages[@]}"

# The locales of the runs, generated when missing. Under qemu each start
# takes half a minute: there, one locale of another script beside C.UTF-8.
# Debian 12's own adds a Russian desktop of the legacy charset Windows-1251,
# where Double Commander reads names and texts in that charset.
locales=(C.UTF-8 ru_RU.UTF-8 ja_JP.UTF-8)
[ "$where" != amd64 ] || [ -n "$install_package" ] || locales+=(ru_RU.CP1251)
[ "$arch" = amd64 ] || locales=(C.UTF-8 ru_RU.UTF-8)
generate=0
for name in "${locales[@]:1}"; do
  codeset=${name#*.}
  # locale -a names them in lower case without dashes: ru_RU.utf8, ru_RU.cp1251.
  listed="${name%%.*}.$(printf '%s' "$codeset" | tr -d -- - | tr '[:upper:]' '[:lower:]')"
  locale -a | grep -qix "$listed" && continue
  [ "$(id -u)" -eq 0 ] || fail "locale $name missing; as root: add it to /etc/locale.gen and run locale-gen"
  grep -qx "$name $codeset" /etc/locale.gen || echo "$name $codeset" >>/etc/locale.gen
  generate=1
done
[ $generate -eq 0 ] || locale-gen >/dev/null

rm -rf "$work"
# The panel shows a folder a user has under ~/Palm, in a home of the test's
# own: /home/palm where the test may make it (the screenshot shows its path).
# It lies deep, past 1,000 bytes, with names in another script on the way,
# as the backups of old handhelds do.
home=$work/home
if [ -w /home ]; then home=/home/palm; fi
rm -rf "$home"
panel=$home/Palm
while [ "$(printf '%s' "$panel" | wc -c)" -le 1000 ]; do panel+="/Резервные копии Palm 2003"; done
mkdir -p "$home/.config" "$home/.cache" "$home/.local/share" "$work/runtime" "$work/config"
chmod 700 "$work/runtime"

# 2. Our Debian package of the architecture, unpacked; its programs write
# the samples, and its plug-in is the one Double Commander loads.
# In a Debian 13 root, installed with apt as a user does, where it lands.
run=()
[ "$qemu_cpu" = - ] || run=("$source_dir/scripts/qemu.sh" "$qemu_cpu")
installed=$work/package
if [ -n "$install_package" ]; then
  (cd "$(dirname "$install_package")" &&
    DEBIAN_FRONTEND=noninteractive timeout 300 apt install -y "./$(basename "$install_package")") \
    >"$work/install.txt" 2>&1 || { cat "$work/install.txt" >&2; fail "apt install of our package failed"; }
  installed=
else
  package=$(KORVEL_PACKAGES=$preset "$source_dir/scripts/package.sh" "$work/dist" | grep '\.deb$')
  dpkg-deb -x "$package" "$installed"
fi
probe=("${run[@]}" "$installed/usr/bin/wdxprobe")
# Where the architecture's C library is missing, qemu.sh says NOT RUN.
status=0
"${run[@]}" "$installed/usr/bin/palm-samples" "$work/samples" || status=$?
[ $status -ne 77 ] || exit 77
[ $status -eq 0 ] || fail "palm-samples of the $arch package failed"
"${run[@]}" "$installed/usr/bin/palm-samples" --names "$work/names"
plugin="$installed/usr/lib/doublecmd/plugins/wdx/korvel/wdx_Korvel.wdx"

# Pinned to one CPU, Double Commander starts in a few seconds instead of ten.
# Under qemu, which translates each thread on its own, both CPUs serve, and
# every wait is three times as long.
doublecmd=(taskset -c 0 doublecmd)
patience=1
if [ "$arch" != amd64 ]; then
  # Double Commander and everything it needs, resolved for that architecture
  # alone, as if nothing were installed.
  : >"$work/no-packages"
  apt_arch=(-o APT::Architecture="$arch" -o APT::Architectures::="$arch" -o Dir::State::status="$work/no-packages")
  timeout 120 apt-get -q -s "${apt_arch[@]}" --no-install-recommends install doublecmd-gtk >"$work/resolve.txt" 2>&1 ||
    { echo "NOT RUN: apt cannot resolve Debian's $arch doublecmd-gtk here:"; tail -3 "$work/resolve.txt"; exit 77; }
  sed -nE 's/^Inst ([^ ]+) \(([^ ]+) .*\[([a-z0-9]+)\].*/\1:\3=\2/p' "$work/resolve.txt" >"$work/packages.txt"
  cache=$source_dir/build/doublecmd-$arch/$(sha256sum <"$work/packages.txt" | cut -c1-16)
  if [ ! -f "$cache/done" ]; then
    echo "fetching $(wc -l <"$work/packages.txt") $arch packages into $cache" >&2
    rm -rf "$cache"
    mkdir -p "$cache/debs"
    (cd "$cache/debs" && timeout 1200 apt-get -q "${apt_arch[@]}" download $(cat "$work/packages.txt")) \
      >"$work/download.txt" 2>&1 || { tail -5 "$work/download.txt" >&2; fail "apt-get download of the $arch packages failed"; }
    for deb in "$cache"/debs/*.deb; do dpkg-deb -x "$deb" "$cache/root"; done
    rm -rf "$cache/debs"
    touch "$cache/done"
  fi
  doublecmd=("qemu-$qemu_cpu-static" -L "$cache/root" "$cache/root/usr/lib/doublecmd/doublecmd")
  patience=3
fi

# Processes this test starts, stopped by their ids on every way out.
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  sleep 1
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# Pinned to one CPU, Xvfb starts in a second or two.
start_xvfb 91 150 "$work/xvfb.log" taskset -c 0
display=$DISPLAY

dc_pid=
start_doublecmd() { # locale
  # Now and then a start under Xvfb never maps its window; one more start is
  # allowed then, with the first one stopped.
  window=
  for start in 1 2; do
    # Its own HOME and XDG folders: without a runtime folder it waits on a dialog for ever.
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/runtime" \
      XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
      XDG_DATA_HOME="$home/.local/share" DISPLAY="$display" LANG="$1" LC_ALL="$1" \
      "${doublecmd[@]}" --config-dir="$work/config" >>"$work/doublecmd.log" 2>&1 &
    dc_pid=$!
    pids+=("$dc_pid")
    for _ in $(seq 1 $((90 * patience))); do
      window=$(xdotool search --onlyvisible --name "Double Commander" 2>/dev/null | head -1 || true)
      [ -n "$window" ] && break 2
      sleep 0.5
    done
    echo "Double Commander (start $start under $1) showed no window in $((45 * patience)) s" >&2
    kill -KILL "$dc_pid" 2>/dev/null || true
    sleep 1
  done
  [ -n "$window" ] || { tail -20 "$work/doublecmd.log" >&2; fail "Double Commander showed no window, twice"; }
  sleep 1
  timeout 10 xdotool windowfocus --sync "$window" || true
}

dc_ended() { ! kill -0 "$dc_pid" 2>/dev/null; }
window_gone() { dc_ended || ! timeout 10 xdotool search --onlyvisible --name "Double Commander" >/dev/null 2>&1; }
stop_doublecmd() { # what was done before
  # F9 (bound to cm_Exit), again until the window is gone: a key that comes
  # while the window is busy is lost. Then the process ends, once it has
  # saved its settings.
  local deadline=$((SECONDS + 60 * patience))
  until window_gone; do
    [ $SECONDS -lt $deadline ] || screen_failure "after $1, Double Commander's window did not close in $((60 * patience)) s of F9"
    timeout 10 xdotool windowfocus --sync "$window" key F9 2>/dev/null || true
    wait_until 5 window_gone || true
  done
  wait_until $((60 * patience)) dc_ended ||
    screen_failure "after $1, Double Commander's window closed, but it did not end in $((60 * patience)) s"
}

# 3. The test's keys first, the one that closes it among them; a first run
# then writes the default configuration, and the plug-in and a column set of
# the name and the eight fields are added to it. Both panels show ~/Palm,
# filled anew for each run.
config=$source_dir/tests/integration/doublecmd_config.py
python3 "$config" "$work/config" --keys-only ${add_archive:+--install-key "$add_archive"}
start_doublecmd C.UTF-8
if [ -n "$add_archive" ]; then
  # Shift+F11 gives the archive to cm_AddPlugin: Double Commander unpacks it
  # into its plug-in folder, registers the plug-in and opens the plug-in
  # settings, which show it. Its entry is saved as Double Commander ends.
  options_shown() { timeout 10 xdotool search --onlyvisible --name "^Options" >/dev/null 2>&1; }
  for _ in 1 2 3; do # a key sent before the window takes keys is lost: again until it is taken
    timeout 10 xdotool windowfocus --sync "$window" key shift+F11 || true
    wait_until 10 options_shown && break
  done
  options_shown || screen_failure "cm_AddPlugin with $(basename "$add_archive") opened no plug-in settings"
  timeout 10 xdotool key --window "$(timeout 10 xdotool search --onlyvisible --name "^Options" | head -1)" Escape || true
  wait_until 10 eval '! options_shown' || true
fi
stop_doublecmd "the first start"
[ -f "$work/config/doublecmd.xml" ] || fail "Double Commander wrote no configuration"
if [ -n "$add_archive" ]; then
  plugin=$(python3 - "$work/config/doublecmd.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
for plugin in ET.parse(sys.argv[1]).getroot().iter("WdxPlugin"):
    if plugin.findtext("Name") == "wdx_Korvel":
        print(plugin.findtext("Path"))
PY
)
  echo "cm_AddPlugin installed wdx_Korvel from the archive as $plugin"
  case $plugin in
  "$home"/.local/share/doublecmd/plugins/wdx/Korvel/wdx_Korvel.wdx) [ -f "$plugin" ] ||
    fail "cm_AddPlugin registered $plugin, which is not there" ;;
  *) fail "cm_AddPlugin did not register wdx_Korvel from the archive in the user's plug-in folder (got '$plugin')" ;;
  esac
  python3 "$config" "$work/config" --installed wdx_Korvel --folder "$panel"
else
  python3 "$config" "$work/config" --plugin "$plugin" --folder "$panel"
fi

# 4. Per locale: the samples and the database named in its language. The
# panel is read back through the clipboard until every value has arrived.
# Each name is written here in UTF-8, as a person of that language reads it.
declare -A named=(
  [C.UTF-8]="CafeMuller.pdb=Café Müller"
  [ru_RU.UTF-8]="Zametki.pdb=Заметки"
  [ja_JP.UTF-8]="Memocho.pdb=メモ帳"
  [ru_RU.CP1251]="Zametki.pdb=Заметки"
)
# The name in UTF-8 with letters Windows-1251 lacks shows them as "?" there;
# the plug-in's texts are read in that code page.
declare -A unicode_shown=([ru_RU.CP1251]="?n?c?d? ?")
declare -A code_page=([ru_RU.CP1251]=cp1251)
for name in "${locales[@]}"; do
  file=${named[$name]%%=*}
  # Its folders named in the locale's charset, as its users' files are.
  folder=$panel
  [ -z "${code_page[$name]:-}" ] || folder=$(printf '%s' "$panel" | iconv -f UTF-8 -t "${code_page[$name]}")
  rm -rf "$home/Palm"
  mkdir -p "$(dirname "$folder")"
  cp -r "$work/samples" "$folder"
  cp "$work/names/$file" "$work/names/Unicode.pdb" "$folder/"
  # What the command-line host reports through the same library, in the same locale.
  LC_ALL=$name timeout 60 "${probe[@]}" "$plugin" --json --all "$folder" >"$work/expected.jsonl" ||
    fail "wdxprobe did not list the panel's folder in 60 s under $name"

  start_doublecmd "$name"
  # Values arrive in the background; under load that takes a while.
  deadline=$((SECONDS + 90 * patience))
  while [ $SECONDS -lt $deadline ]; do
    timeout 10 xdotool windowfocus --sync "$window" key Escape F11 F12 || true
    sleep 0.5
    timeout 10 xclip -o -selection clipboard >"$work/panel.txt" 2>/dev/null || true
    if python3 "$source_dir/tests/integration/doublecmd_compare.py" "$work/panel.txt" "$work/expected.jsonl" \
      --code-page="${code_page[$name]:-utf-8}" "${named[$name]}" "Unicode.pdb=${unicode_shown[$name]:-Ünïcödé ✓}" \
      >"$work/compare.txt" 2>&1; then
      break
    fi
    sleep 1
  done
  echo "$name: $(cat "$work/compare.txt")"
  if ! grep -q "agree" "$work/compare.txt"; then
    cat "$work/panel.txt" >&2
    screen_failure "under $name the panel differs"
  fi
  if [ "$name" = C.UTF-8 ]; then
    timeout 10 xdotool windowfocus --sync "$window" key F10 || true # unmark, for a clean picture
    sleep 0.5
    timeout 30 import -window root -crop 1580x780+0+0 +repage "$screenshot"
    echo "screenshot: $screenshot"
  fi
  stop_doublecmd "the panel under $name"
done
