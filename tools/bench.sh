#!/bin/sh
# The project's standard speed figures, from a Release build:
#   emulated processor MHz, the headless runner's frames per second on the
#   bundled cartridge in play beside the host instructions a frame of it
#   takes, synthesis time per 1,024-frame buffer, and the player's CPU use
#   at 60 frames per second in a virtual X server.
#   tools/bench.sh BUILD_DIR
set -e
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/bin"

echo "== Processor (bench_cpu_bench)"
"$bin/bench_cpu_bench" --benchmark_min_time=1 2>/dev/null | grep -E '^BM_'

echo "== Synthesis of one 1,024-frame buffer (bench_synth_bench)"
"$bin/bench_synth_bench" 2>/dev/null | grep -E '^synthesize'

echo "== Headless runner on the bundled cartridge in play (halvenor-headless --bench)"
"$bin/halvenor-headless" "$build/play" --frames 20000 --input "$here/tests/cart/golden/script.txt" --bench | tail -1

echo "== Host instructions per frame of the same play (tools/frame-instructions.sh)"
sh "$here/tools/frame-instructions.sh" "$build"

echo "== Player at 60 frames per second in Xvfb, 20 s (CPU share of one core, from /proc)"
sh "$here/tools/player-cpu.sh" "$bin/halvenor" "$build/play" 20
