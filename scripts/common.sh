# Shell functions the scripts and the tests share; sourced, not run.

korvel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }

# True when the Debian package (name or name:arch) is installed.
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Builds a CMake preset into build/PRESET: configures it (which writes
# build/PRESET/version.txt), then builds everything or the targets named.
# With --fresh FOLDER, the same settings build into FOLDER instead, without
# the tests. The build's own output goes to stdout.
build_preset() { # [--fresh FOLDER] preset [target...]
  local folder=
  [ "$1" != --fresh ] || { folder=$2; shift 2; }
  local preset=$1
  shift
  (
    cd "$korvel_root"
    if [ -n "$folder" ]; then
      cmake --preset "$preset" -B "$folder" -DKORVEL_BUILD_TESTS=OFF >/dev/null
      cmake --build "$folder" ${1:+--target "$@"}
    else
      cmake --preset "$preset" >/dev/null
      cmake --build --preset "$preset" ${1:+--target "$@"}
    fi
  )
}

# The project's version, as CMake wrote it for a configured preset.
project_version() { # preset
  cat "$korvel_root/build/$1/version.txt"
}

# The copyright holder, as CMake wrote it for a configured preset.
project_copyright() { # preset
  sed -n 's/^Copyright (c) //p' "$korvel_root/build/$1/copyright.txt"
}
