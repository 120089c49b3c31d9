#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A man page and --help are written apart; this keeps them in step. The page must name every
# option and command that --help (and each command's --help) lists, and every long option the
# page names must still exist.
#   check_man_page.sh MAN-PAGE PROGRAM
set -eu
page=$1
program=$2
help=$(mktemp)
trap 'rm -f "$help"' EXIT

"$program" --help >"$help"
commands=$(sed -n '/^Subcommands:/,$p' "$help" | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p')
for command in $commands; do
    "$program" "$command" --help >>"$help"
done

# groff writes a hyphen as \-.
escaped() {
    printf '%s' "$1" | sed 's/-/\\\\-/g'
}

missing=0
# An option is the start of an indented help line, before the two spaces of its description.
options=$(grep -E '^ +-' "$help" | sed -E 's/^ +//; s/  .*//' |
    grep -oE '(^|[ ,])--?[a-zA-Z][a-zA-Z0-9-]*' | tr -d ' ,' | sort -u)
for option in $options; do
    if ! grep -qE "(^|[^-])$(escaped "$option")([^a-zA-Z0-9\\\\]|\\\\[^-]|\$)" "$page"; then
        echo "$page does not name $option" >&2
        missing=1
    fi
done
for command in $commands; do
    if ! grep -qE "^\\.BI? $(escaped "$command")( |\$)" "$page"; then
        echo "$page does not describe the command $command" >&2
        missing=1
    fi
done
for option in $(grep -oE '\\-\\-[a-z0-9]+(\\-[a-z0-9]+)*' "$page" | sed 's/\\-/-/g' | sort -u); do
    if ! printf '%s\n' "$options" | grep -qx -- "$option"; then
        echo "$page names $option, which $program --help does not list" >&2
        missing=1
    fi
done
exit $missing
