#!/bin/sh
# The Windows build's checks under Wine, after `sh tools/windows.sh tests`:
#   sh tests/windows/check.sh
# 1. The unit tests built for Windows, through ctest. The tests that are
#    Linux's alone (labelled linux there) are not built for Windows.
# 2. The headless runner built for Windows plays the golden run to the same
#    frame hashes and sound as the desktop's.
# 3. The player under Wine, as a player uses it (wine_player.py).
# Wine runs in a prefix of its own, made once in the cache folder.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
cache=${HALVENOR_CACHE:-$top/.cache}
case $cache in /*) ;; *) cache=$top/$cache ;; esac
build=$top/build-windows

sh tools/install-deps.sh wine

# No display while the prefix is made, and no offer to fetch the .NET and
# HTML engines, which the player does not use.
export WINEPREFIX="$cache/windows/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making a Wine prefix in $WINEPREFIX"
    env -u DISPLAY wineboot --init >/dev/null 2>&1
    wineserver --wait
fi

ctest --test-dir "$build/cross" --output-on-failure -j "$(nproc)"
echo "ok   the unit tests under Wine"

sh tests/support/runner_matches.sh "the runner under Wine" "$build/tools/bin/halvenor-headless" \
    "$build/cross/play" wine "$build/cross/bin/halvenor-headless.exe"

# The player as the zip gives it.
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM
unzip -q "$top"/halvenor-*-windows-x64.zip -d "$work"
python3 tests/windows/wine_player.py --player "$work"/halvenor-*-windows-x64/halvenor.exe --prefix "$WINEPREFIX"
