#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes screenshots of zelk on a simulated ATmega328P under a virtual X display of 1280x900:
# the splash at start, after New Project, after Detect Device and with a HEX file loaded into
# the flash window; then the same at twice the scale (QT_SCALE_FACTOR=2) with a 12-point font;
# then the SPI terminal, the serial terminal on the simulated board, the about box, the lock
# and fuse dialog, the Preferences and a progress window in the middle of a flash write.
# They land in ./screenshots/. Needs xvfb, xdotool, x11-apps (xwd) and imagemagick (see
# tools/install-deps.sh).
set -eu
cd "$(dirname "$0")/.."
if [ -z "${ZELK_SCREENSHOT_DISPLAY:-}" ]; then
    cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target zelk
    export ZELK_SCREENSHOT_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$@"
fi

mkdir -p screenshots
scratch=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$scratch"' EXIT
CONVERT=convert
[ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert

# A small program image: text and a counting pattern from 0x0100 on.
cat >"$scratch/demo.hex" <<'HEX'
:10010000C0E0D0E00E9400010C940001FFCFF89401
:100110007A656C6B2064656D6F206669726D7761BE
:1001200072652076312E30000001020304050607B7
:1001300008090A0B0C0D0E0F1011121314151617C7
:00000001FF
HEX

shoot() {
    sleep 1
    xwd -root -silent | "$CONVERT" xwd:- -crop "$2" "screenshots/$1.png"
    echo "screenshots/$1.png"
}

# One run of zelk with a settings store and simulator state of its own (a first start).
run() {
    prefix=$1
    crop=$2
    rm -rf "$scratch/config" "$scratch/state"
    XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" \
        build/bin/zelk --simulate ATmega328P ${ZELK_STYLE:+-stylesheet "$ZELK_STYLE"} &
    pid=$!
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^zelk')
    xdotool windowmove "$window" 0 0
    xdotool windowsize "$window" 1280 900
    shoot "$prefix-1-start" "$crop"

    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    # The first key only closes the splash.
    xdotool key Escape
    sleep 0.3
    xdotool key ctrl+n
    shoot "$prefix-2-new-project" "$crop"

    # Options > Detect Device by its mnemonics; the menu needs a moment to open.
    xdotool key alt+o
    sleep 1
    xdotool key d
    shoot "$prefix-3-detect-device" "$crop"

    # Window > the flash window, then File > Load File with the demo file, then Ctrl+G.
    xdotool key alt+w
    sleep 1
    xdotool key 2
    sleep 0.3
    xdotool key alt+f
    sleep 1
    xdotool key l
    sleep 1
    xdotool type --delay 20 "$scratch/demo.hex"
    xdotool key Return
    sleep 1
    xdotool key Right Right Caps_Lock
    shoot "$prefix-4-hex-editor" "$crop"
    xdotool key Caps_Lock

    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=""
}

run 1x 1280x900+0+0
# Twice the scale, and widgets in a 12-point font as a user may have chosen.
echo '* { font-size: 12pt; }' >"$scratch/font.qss"
QT_SCALE_FACTOR=2 ZELK_STYLE="$scratch/font.qss" run 2x 1280x900+0+0

# A dialog by its title: without a window manager a fresh dialog reads black from the root.
shoot_window() {
    sleep 2
    id=$(xdotool search --onlyvisible --name "$1" | head -1)
    xwd -id "$id" -silent | "$CONVERT" xwd:- "screenshots/$2.png"
    echo "screenshots/$2.png"
}

# zelk on the simulator without the splash, in a window of the given size, with the focus.
start_plain() {
    build/bin/zelk --simulate ATmega328P -Automation &
    pid=$!
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^zelk')
    xdotool windowsize "$window" "$1" "$2"
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
}

export XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state"
# The lock and fuse dialog, the Preferences and a flash write of 32 KiB half done.
srec_cat -generate 0 0x8000 -repeat-string 'zelk demo ' -o "$scratch/big.hex" -intel
rm -rf "$scratch/config" "$scratch/state"
start_plain 800 600
xdotool key ctrl+n
sleep 0.5
xdotool key alt+o
sleep 0.5
xdotool key d
sleep 1
xdotool key alt+r
sleep 0.5
xdotool key l
xdotool search --sync --onlyvisible --name '^Lockbits & Fuses' >/dev/null
shoot_window '^Lockbits & Fuses' 8-lock-fuses
xdotool key Escape
sleep 0.5
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key alt+o
sleep 0.5
xdotool key p
xdotool search --sync --onlyvisible --name '^Property Sheet' >/dev/null
shoot_window '^Property Sheet' 9-preferences-port
xdotool key ctrl+Tab
shoot_window '^Property Sheet' 10-preferences-autoprogram
xdotool key ctrl+Tab
shoot_window '^Property Sheet' 11-preferences-serial-numbering
xdotool key Escape
sleep 0.5
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key alt+w
sleep 0.5
xdotool key 2
sleep 0.3
xdotool key alt+f
sleep 0.5
xdotool key l
sleep 1
xdotool type --delay 20 "$scratch/big.hex"
xdotool key Return
sleep 1
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key alt+r
sleep 0.5
xdotool key w
xdotool search --sync --onlyvisible --name '^Progress' >/dev/null
sleep 1
id=$(xdotool search --onlyvisible --name '^Progress' | head -1)
xwd -id "$id" -silent | "$CONVERT" xwd:- screenshots/12-progress-write.png
echo screenshots/12-progress-write.png
sleep 4
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""

# The terminals and the about box, each in a run of its own without the splash.
export XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state"
rm -rf "$scratch/config" "$scratch/state"
start_plain 640 480
xdotool key ctrl+n
sleep 1
# Options > Detect Device, then Options > Terminal Parallel, which needs a detected target:
# the simulated target's program answers in upper case.
xdotool key alt+o
sleep 1
xdotool key d
sleep 1
xdotool key alt+o
sleep 1
xdotool key t
timeout 30 xdotool search --sync --onlyvisible --name '^SPI Terminal' >/dev/null
xdotool type --delay 50 'hello zelk'
xdotool key Return
shoot_window '^SPI Terminal' 5-spi-terminal
kill "$pid"
wait "$pid" 2>/dev/null || true

mkdir -p "$XDG_CONFIG_HOME/Brasswick"
printf '[Settings]\r\nComport=Simulated board\r\nSpeed=115200\r\n' \
    >"$XDG_CONFIG_HOME/Brasswick/zelk.conf"
start_plain 640 480
xdotool key ctrl+n
sleep 1
xdotool key alt+o
sleep 1
xdotool key s
timeout 30 xdotool search --sync --onlyvisible --name '^Terminal' >/dev/null
xdotool type --delay 50 'hello board'
xdotool key Return
shoot_window '^Terminal' 6-serial-terminal
kill "$pid"
wait "$pid" 2>/dev/null || true

start_plain 640 480
xdotool key alt+h
sleep 1
xdotool key a
timeout 30 xdotool search --sync --onlyvisible --name '^About zelk' >/dev/null
shoot_window '^About zelk' 7-about
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""
