#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds zelk and starts it on a simulated ATmega328P, so it runs without a programming cable.
# Extra arguments go to zelk.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja
cmake --build build --target zelk
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running zelk under xvfb-run, where its window is not visible." >&2
    exec xvfb-run -a build/bin/zelk --simulate ATmega328P "$@"
fi
exec build/bin/zelk --simulate ATmega328P "$@"
