#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what zelk needs on Debian 12 (as root or through sudo): to build, run and package it,
# and with --test also what the tests, the sanitizer builds, the fuzzers, the package checks and
# the screenshots need.
#   tools/install-deps.sh [--test]
set -eu
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
fi
packages="build-essential cmake ninja-build pkgconf dpkg-dev \
    qt6-base-dev qt6-svg-dev libgl-dev libx11-dev fonts-dejavu-core xvfb xauth \
    libcli11-dev libelf-dev nettle-dev libgpiod-dev"
case "${1:-}" in
--test)
    packages="$packages clang libclang-rt-14-dev clang-format libgtest-dev libgmock-dev \
        srecord binutils-avr lintian appstream desktop-file-utils xdotool x11-apps imagemagick \
        dbus at-spi2-core python3-pyatspi"
    ;;
"") ;;
*)
    echo "usage: tools/install-deps.sh [--test]" >&2
    exit 2
    ;;
esac
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086 # the list is split into packages on purpose
$SUDO apt-get install -y -q --no-install-recommends $packages
