#!/bin/sh
# Plays the golden run with the desktop's headless runner and with a build
# for another system, and fails unless both give the same frame hashes and,
# with plain and with interpolated sound, the same WAV byte for byte:
#   sh tests/support/runner_matches.sh NAME DESKTOP PLAY COMMAND...
# NAME says which build in the messages; DESKTOP is the desktop's runner,
# PLAY the play folder; COMMAND... starts the other runner (under node, under
# Wine), which takes the same arguments. A Windows program's text lines end
# in CR LF, which are taken as LF.
set -e
name=$1
desktop=$2
play=$3
shift 3
golden=$(cd "$(dirname "$0")/../cart/golden" && pwd)
frames=$(sed -n 's/^frames //p' "$golden/checkpoints.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

for variant in plain interpolated; do
    option=""
    [ $variant = interpolated ] && option=--interpolated
    "$desktop" "$play" --frames "$frames" --input "$golden/script.txt" --hash --wav "$work/desktop.wav" $option \
        >"$work/desktop.txt"
    "$@" "$play" --frames "$frames" --input "$golden/script.txt" --hash --wav "$work/other.wav" $option \
        >"$work/other.lines"
    tr -d '\r' <"$work/other.lines" >"$work/other.txt"
    if ! cmp -s "$work/desktop.txt" "$work/other.txt"; then
        echo "FAIL $name: frame hashes differ from the desktop's ($variant sound)"
        diff "$work/desktop.txt" "$work/other.txt" | head -5
        exit 1
    fi
    if ! cmp -s "$work/desktop.wav" "$work/other.wav"; then
        echo "FAIL $name: its $variant sound differs from the desktop's"
        exit 1
    fi
done
echo "ok   $name: the $frames frame hashes and both sounds as on the desktop"
