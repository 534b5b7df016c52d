#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, test and run.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 libdbus-1-dev libqt6sql6-sqlite
  qt6-charts-dev libqt6charts6 libqt6opengl6-dev qt6-svg-dev libqt6svg6
  libsqlite3-dev libsqlitecpp-dev nlohmann-json3-dev libpq-dev postgresql
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-httpserver-dev qt6-websockets-dev prometheus libmosquitto-dev mosquitto mosquitto-clients
  dbus dbus-x11 libglib2.0-bin xvfb xauth x11-utils imagemagick
  at-spi2-core python3 python3-gi gir1.2-atspi-2.0
  libgl1-mesa-dev libxkbcommon-dev
  dpkg-dev fakeroot file lintian desktop-file-utils appstream man-db bash-completion
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
