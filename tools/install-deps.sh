#!/bin/sh
# Installs what zelk needs to build, run and test on Debian 12 (as root or through sudo).
set -eu
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
    build-essential cmake ninja-build clang libclang-rt-14-dev clang-format \
    qt6-base-dev qt6-svg-dev libgl-dev libx11-dev fonts-dejavu-core xvfb xauth \
    xdotool x11-apps imagemagick \
    libgtest-dev libgmock-dev libcli11-dev libelf-dev pkgconf \
    srecord binutils-avr dpkg-dev nettle-dev libgpiod-dev
