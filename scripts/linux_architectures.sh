# The Linux architectures the project builds, for the scripts that package,
# run and test them; sourced (by sh and bash), not run. One line each:
#   preset  Debian architecture  archive name  GNU triplet  qemu's name of the processor (- for none)
linux_architectures="\
linux       amd64  x86_64   x86_64-linux-gnu     -
linux-arm64 arm64  aarch64  aarch64-linux-gnu    aarch64
linux-armhf armhf  armhf    arm-linux-gnueabihf  arm"

# Prints the line that has KEY in one of its columns (preset, Debian
# architecture, archive name, triplet, qemu's name), to be read with
#   read -r preset debian archive triplet qemu_cpu <<EOF ... EOF
# false, printing nothing, if no line has.
linux_architecture() { # key
  while read -r column1 column2 column3 column4 column5; do
    case $1 in "$column1" | "$column2" | "$column3" | "$column4" | "$column5")
      echo "$column1 $column2 $column3 $column4 $column5"
      return 0
      ;;
    esac
  done <<END
$linux_architectures
END
  return 1
}
