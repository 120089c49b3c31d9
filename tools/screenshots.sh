#!/bin/sh
# Takes screenshots of zelk on a simulated ATmega328P under a virtual X display: after start,
# after New Project, and after Detect Device. They land in ./screenshots/.
# Needs xvfb, xdotool, x11-apps (xwd) and imagemagick (see tools/install-deps.sh).
set -eu
cd "$(dirname "$0")/.."
if [ -z "${ZELK_SCREENSHOT_DISPLAY:-}" ]; then
    cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target zelk
    export ZELK_SCREENSHOT_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

mkdir -p screenshots
# A settings store and simulator state of their own, so the pictures show a first start.
scratch=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state"
CONVERT=convert
[ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert

shoot() {
    sleep 1
    xwd -root -silent | "$CONVERT" xwd:- -crop 640x480+0+0 "screenshots/$1.png"
    echo "screenshots/$1.png"
}

start=$(date +%s%N)
build/bin/zelk --simulate ATmega328P &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^zelk')
echo "main window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
xdotool windowsize "$window" 640 480
shoot 1-start

xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key ctrl+n
shoot 2-new-project

# Options > Detect Device by its mnemonics; the menu needs a moment to open.
xdotool key alt+o
sleep 0.5
xdotool key d
shoot 3-detect-device
