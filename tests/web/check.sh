#!/bin/sh
# The web build's checks, after tools/web.sh:
#   sh tests/web/check.sh
# 1. The headless runner built for node plays the golden run to the same
#    frame hashes and the same sound, byte for byte, as the desktop's; then
#    both runners' frames per second, as figures.
# 2. The zipped page in Debian's Chromium (tests/web/browser_check.js).
# HALVENOR_WEB_BUILD names the build folder, as for tools/web.sh.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${HALVENOR_WEB_BUILD:-$top/build-web}
golden=$top/tests/cart/golden
script=$golden/script.txt
bench_frames=20000

cmake --build "$build/native" -j2 --target halvenor-headless
cmake --build "$build/wasm" -j2 --target halvenor-headless play_folder
desktop=$build/native/bin/halvenor-headless
play=$build/wasm/play

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# Node fetches the wasm with its own fetch, which reads no files, unless told
# not to.
on_node() {
    node --no-experimental-fetch "$build/wasm/bin/halvenor-headless.js" "$@"
}

sh "$top/tests/support/runner_matches.sh" "the runner under node" "$desktop" "$play" \
    node --no-experimental-fetch "$build/wasm/bin/halvenor-headless.js"

desktop_fps=$("$desktop" "$play" --frames $bench_frames --input "$script" --bench | sed -n 's/^fps: //p')
node_fps=$(on_node "$play" --frames $bench_frames --input "$script" --bench | sed -n 's/^fps: //p')
echo "figure runner frames per second: node $node_fps, desktop $desktop_fps"

unzip -q "$top/halvenor-"*"-web.zip" -d "$work"
ca65 --cpu 6502 -o "$work/pad.o" "$top/tests/web/pad_cart.s"
ld65 -C "$top/tests/web/pad_cart.cfg" -o "$work/pad.nes" "$work/pad.o"
node "$top/tests/web/browser_check.js" "$work"/halvenor-*-web "$work/pad.nes" "$golden/title.png"
