#!/usr/bin/env bash
# Integration test in a real Windows file manager: Double Commander for
# Windows, built from its source (build_doublecmd_windows.sh), under Wine and
# Xvfb. The plug-in is installed from our Windows zip as the README tells
# users to, every cell of its panel is compared with what wdxprobe.exe gets
# through the same DLL, and under three ANSI code pages (1252, 1251, 932) a
# database named in that code page must show exactly as written.
#
# Usage: doublecmd_windows_test.sh SOURCE_DIR WORK_DIR ARCH [SCREENSHOT]
#   ARCH: x86_64 (64-bit Double Commander) or i386 (32-bit)
set -euo pipefail
source_dir=$1
work=$2
arch=$3
screenshot=${4:-$work/doublecmd-windows-panel.png}
source "$source_dir/tests/integration/common.sh"

case $arch in
x86_64) preset=windows-x64 dll=wdx_Korvel.wdx64 ;;
i386) preset=windows-x86 dll=wdx_Korvel.wdx ;;
*) fail "unknown architecture $arch" ;;
esac
[ "$arch" != i386 ] || "$source_dir/scripts/wine.sh" --check-32-bit "32-bit Double Commander" || exit 77

install_missing xvfb xauth xdotool xclip x11-utils imagemagick python3 locales unzip

# 1. Double Commander, the zip, the samples, a Wine prefix of this test's own.
doublecmd=$("$source_dir/tests/integration/build_doublecmd_windows.sh" "$source_dir/build/doublecmd-windows" "$arch" | tail -1)
rm -rf "$work"
mkdir -p "$work"
zip=$("$source_dir/scripts/package.sh" "$work/dist" | grep -- '-windows.zip$')
(cd "$source_dir" && cmake --build --preset "$preset" --target wdxprobe >/dev/null)
probe=$source_dir/build/$preset/tools/wdxprobe.exe
wine=$source_dir/scripts/wine.sh
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" "$probe" --version >/dev/null # makes the prefix
drive_c=$WINEPREFIX/drive_c
cp -r "$doublecmd" "$drive_c/DoubleCmd"
settings=$drive_c/DoubleCmd/settings
"$source_dir/build/linux/tools/palm-samples" "$drive_c/Palm"
"$source_dir/build/linux/tools/palm-samples" --names "$work/names"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  sleep 1
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
start_xvfb 151 210 "$work/xvfb.log"

# Keys to Double Commander's main window, looked up anew each time: under
# Wine it may be made again after its first showing.
send_keys() {
  local window
  window=$(xdotool search --onlyvisible --name "^Double Commander" 2>/dev/null | head -1 || true)
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key "$@" 2>/dev/null
}
start_doublecmd() { # locale
  /usr/lib/wine/wineserver -k 2>/dev/null || true # Wine takes the code page from the locale at its start
  LANG=$1 LC_ALL=$1 "$wine" 'C:\DoubleCmd\doublecmd.exe' >>"$work/doublecmd.log" 2>&1 &
  pids+=($!)
  window=
  for _ in $(seq 1 240); do
    window=$(xdotool search --onlyvisible --name "Double Commander" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.5
  done
  [ -n "$window" ] || { import -window root "$work/failure.png" || true; fail "Double Commander showed no window under $1"; }
  sleep 3
}
stop_doublecmd() {
  # Alt+F4 as Windows users close it; under Wine Alt+X only opens the menu.
  send_keys Escape alt+F4 || true
  for _ in $(seq 1 60); do
    xdotool search --onlyvisible --name "Double Commander" >/dev/null 2>&1 || break
    sleep 0.5
  done
  /usr/lib/wine/wineserver -w 2>/dev/null || true
}

# 2. A first run writes the default configuration. Then the plug-in is
# installed as the README tells users: the zip unpacked into a folder of its
# own, and wdx_Korvel.wdx added in the plug-in settings. Shift+F11 gives that
# path to cm_AddPlugin, which opens the settings and adds it as their Add
# button does; Enter confirms them.
start_doublecmd en_US.UTF-8
stop_doublecmd
[ -f "$settings/doublecmd.xml" ] || fail "Double Commander wrote no configuration"
mkdir -p "$drive_c/Plugins/Korvel"
(cd "$drive_c/Plugins/Korvel" && unzip -q "$zip")
config=$source_dir/tests/integration/doublecmd_config.py
python3 "$config" "$settings" --install-key 'C:\Plugins\Korvel\wdx_Korvel.wdx'
start_doublecmd en_US.UTF-8
options=
for _ in $(seq 1 3); do # a key sent before the window takes keys is lost: again until it is taken
  send_keys shift+F11 || true
  for _ in $(seq 1 20); do
    options=$(xdotool search --onlyvisible --name "^Options" 2>/dev/null | head -1 || true)
    [ -n "$options" ] && break 2
    sleep 0.5
  done
done
if [ -z "$options" ]; then
  import -window root "$work/failure.png" || true
  fail "the plug-in settings did not open; see $work/failure.png"
fi
sleep 2
import -window root "$work/added.png" || true
xdotool windowfocus --sync "$options" key Return || true
sleep 1
stop_doublecmd
registered=$(python3 - "$settings/doublecmd.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
for plugin in ET.parse(sys.argv[1]).getroot().iter("WdxPlugin"):
    print(plugin.findtext("Name"), plugin.findtext("Path"), sep="\t")
PY
)
echo "registered by Add: $registered"
name=$(echo "$registered" | awk -F'\t' '$2 ~ /Korvel/ {print $1; exit}')
path=$(echo "$registered" | awk -F'\t' '$2 ~ /Korvel/ {print $2; exit}')
[ -n "$name" ] || fail "Add registered no plug-in"
[ "${path##*\\}" = "$dll" ] || fail "a $arch Double Commander registered ${path##*\\}, not $dll"
installed=$drive_c/Plugins/Korvel/$dll

# 3. The column set of the eight fields, both panels on C:\Palm.
python3 "$config" "$settings" --installed "$name" --folder 'C:\Palm\'

# 4. Per ANSI code page: the database named in it, every cell against
# wdxprobe.exe through the installed DLL, in the same locale.
declare -A named=(
  [en_US.UTF-8]="CafeMuller.pdb=Café Müller=cp1252"
  [ru_RU.UTF-8]="Zametki.pdb=Заметки=cp1251"
  [ja_JP.UTF-8]="Memocho.pdb=メモ帳=cp932"
)
for locale in en_US.UTF-8 ru_RU.UTF-8 ja_JP.UTF-8; do
  IFS='=' read -r file title codec <<<"${named[$locale]}"
  rm -f "$drive_c"/Palm/{CafeMuller,Zametki,Memocho}.pdb
  cp "$work/names/$file" "$drive_c/Palm/"
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  LANG=$locale LC_ALL=$locale "$wine" "$probe" "$installed" --json --all 'C:\Palm' | tr -d '\r' >"$work/expected.jsonl"
  start_doublecmd "$locale"
  for _ in $(seq 1 20); do
    send_keys Escape F11 F12 || true
    sleep 1
    xclip -o -selection clipboard >"$work/panel.txt" 2>/dev/null || true
    if python3 "$source_dir/tests/integration/doublecmd_compare.py" "$work/panel.txt" "$work/expected.jsonl" \
      "--code-page=$codec" "$file=$title" >"$work/compare.txt" 2>&1; then
      break
    fi
  done
  echo "$arch, $locale ($codec): $(cat "$work/compare.txt")"
  if ! grep -q "agree" "$work/compare.txt"; then
    import -window root "$work/failure.png" || true
    cat "$work/panel.txt" >&2
    fail "under $locale the panel differs; see $work/failure.png"
  fi
  if [ "$locale" = en_US.UTF-8 ]; then
    send_keys F10 || true
    sleep 1
    import -window root -crop 1580x780+0+0 +repage "$screenshot"
    echo "screenshot: $screenshot"
  fi
  stop_doublecmd
done
