#!/bin/sh
# Takes screenshots of zelk on a simulated ATmega328P under a virtual X display: the splash,
# after New Project, after Detect Device, the SPI terminal, the serial terminal on the
# simulated board, and the about box. They land in ./screenshots/.
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

# A dialog by its title: without a window manager a fresh dialog reads black from the root.
shoot_window() {
    sleep 2
    id=$(xdotool search --onlyvisible --name "$1" | head -1)
    xwd -id "$id" -silent | "$CONVERT" xwd:- "screenshots/$2.png"
    echo "screenshots/$2.png"
}

start=$(date +%s%N)
build/bin/zelk --simulate ATmega328P &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^zelk')
echo "main window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
xdotool windowsize "$window" 640 480
xwd -root -silent | "$CONVERT" xwd:- -crop 1024x768+0+0 screenshots/1-start-splash.png
echo screenshots/1-start-splash.png

# The first key only closes the splash.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key Escape
sleep 0.3
xdotool key ctrl+n
shoot 2-new-project

# Options > Detect Device by its mnemonics; the menu needs a moment to open.
xdotool key alt+o
sleep 0.5
xdotool key d
shoot 3-detect-device

# Options > Terminal Parallel: the simulated target's program answers in upper case.
xdotool key alt+o
sleep 0.5
xdotool key t
xdotool search --sync --onlyvisible --name '^SPI Terminal' >/dev/null
xdotool type --delay 50 'hello zelk'
xdotool key Return
shoot_window '^SPI Terminal' 4-spi-terminal
kill "$pid"
wait "$pid" 2>/dev/null || true

# The serial terminal on the simulated board, and the about box, each in a run of its own
# without the splash.
mkdir -p "$XDG_CONFIG_HOME/Brasswick"
printf '[Settings]\r\nComport=Simulated board\r\nSpeed=115200\r\n' \
    >"$XDG_CONFIG_HOME/Brasswick/zelk.conf"
build/bin/zelk --simulate ATmega328P -Automation &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^zelk')
xdotool windowsize "$window" 640 480
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key ctrl+n
sleep 0.5
xdotool key alt+o
sleep 0.5
xdotool key s
xdotool search --sync --onlyvisible --name '^Terminal' >/dev/null
xdotool type --delay 50 'hello board'
xdotool key Return
shoot_window '^Terminal' 5-serial-terminal
kill "$pid"
wait "$pid" 2>/dev/null || true

build/bin/zelk --simulate ATmega328P -Automation &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^zelk')
xdotool windowsize "$window" 640 480
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key alt+h
sleep 0.5
xdotool key a
xdotool search --sync --onlyvisible --name '^About zelk' >/dev/null
shoot_window '^About zelk' 6-about
