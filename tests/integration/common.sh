# Shell functions the file-manager tests share; sourced, not run.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"

# Every wait below ends: a command that can block runs under `timeout`, a
# poll has a deadline, and what did not finish is said, with a picture of
# the screen (in $work/failure.png) where there is one.
screen_failure() { # what did not finish
  [ -z "${DISPLAY:-}" ] || timeout 30 import -window root "$work/failure.png" 2>/dev/null || true
  fail "$* (screen: $work/failure.png)"
}

# Polls COMMAND every half second until it succeeds; false after SECONDS.
wait_until() { # seconds, command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.5
  done
}

# What the file-manager tests drive Double Commander with: a virtual screen,
# keys, the clipboard, screenshots, the config writer and the locales.
screen_test_packages=(xvfb xauth xdotool xclip x11-utils imagemagick python3 locales)

# Installs the Debian packages named that are missing (as root; otherwise fails
# with the line to run).
install_missing() {
  local missing=() package
  for package in "$@"; do
    installed "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  [ "$(id -u)" -eq 0 ] || fail "missing packages; as root: apt-get install ${missing[*]}"
  echo "installing ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive timeout 1800 apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    fail "apt-get install ${missing[*]} failed or took over 30 minutes"
}

# Starts Xvfb on the first free display of FIRST..LAST, with its log in LOG,
# exports DISPLAY and adds the server to the caller's `pids`. What follows
# LOG runs before it (taskset -c 0, say).
start_xvfb() { # first, last, log, [prefix...]
  local first=$1 last=$2 log=$3 n display=
  shift 3
  for n in $(seq "$first" "$last"); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  done
  [ -n "$display" ] || fail "no free X display"
  "$@" Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >"$log" 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  wait_until 20 timeout 5 xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $display in 20 s; see $log"
}
