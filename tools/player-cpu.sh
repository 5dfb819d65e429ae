#!/bin/sh
# Runs the player in a virtual X server for SECONDS seconds and prints the
# CPU time it used as a share of one core, read from /proc.
#   tools/player-cpu.sh PLAYER PLAY_FOLDER SECONDS
set -e
player=$(realpath "$1")
folder=$2
seconds=${3:-20}
work=$(mktemp -d /tmp/halvenor-bench.XXXXXX)
cp "$folder"/game.nes "$folder"/palette.pal "$work"/
[ -f "$folder/artwork.jpg" ] && cp "$folder/artwork.jpg" "$work"/

Xvfb :97 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $player_pid $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1
cd "$work"
DISPLAY=:97 SDL_AUDIODRIVER=dummy "$player" >/dev/null 2>&1 &
player_pid=$!
sleep 2

ticks() { awk '{print $14 + $15}' "/proc/$player_pid/stat"; }
hz=$(getconf CLK_TCK)
start=$(ticks)
sleep "$seconds"
end=$(ticks)
awk -v used="$((end - start))" -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "player CPU: %.1f%% of one core over %d s\n", 100 * used / hz / s, s }'
