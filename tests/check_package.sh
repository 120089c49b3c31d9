#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a build folder into a scratch folder and has lintian judge
# it: an error or a warning fails.
#   check_package.sh BUILD-FOLDER SCRATCH-FOLDER
set -eu
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    exit 1
fi
status=0
lintian --fail-on error,warning --display-info "$scratch"/zelk_*.deb >"$scratch/lintian.log" 2>&1 ||
    status=$?
# lintian warns that it runs as root, as CI does; that is no fault of the package.
grep -v 'running with root privileges is not recommended' "$scratch/lintian.log" || true
exit $status
