#!/bin/sh
# Installs the Debian packages that a make target needs and that are missing.
# Usage: tools/install-deps.sh run|test|video
# Runs apt-get directly as root, through sudo otherwise.
set -eu

run_packages="g++ cmake ninja-build pkg-config libsdl2-dev libx11-dev libxext-dev"
test_packages="$run_packages libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev libxtst-dev libpng-dev
  clang-14 libclang-rt-14-dev seabios xvfb x11-utils x11-apps xdotool imagemagick matchbox-window-manager"
video_packages="$run_packages libpng-dev ffmpeg"

case "${1:-}" in
  run) wanted=$run_packages ;;
  test) wanted=$test_packages ;;
  video) wanted=$video_packages ;;
  *) echo "usage: $0 run|test|video" >&2; exit 2 ;;
esac

missing=""
for package in $wanted; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
