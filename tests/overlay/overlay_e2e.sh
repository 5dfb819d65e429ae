#!/bin/sh
# The overlay in the real player, in a real X server: opened and closed with
# Escape and the right button, bindings captured with a double click and a key
# (pressed after, or already held), captures cancelled by Escape and by a quit
# request, a scale chosen with the mouse, and the new bindings in "config.cfg"
# after a confirmed quit. Keys and the mouse come through the X server's test
# extension; the window is read back with screenshots.
#
#   overlay_e2e.sh PLAYER PLAY_FOLDER SHOT_CHECK OUTPUT_FOLDER
#
# The screenshots stay in OUTPUT_FOLDER to be looked at.
set -eu
. "$(dirname "$0")/../support/xserver.sh"

player=$(realpath "$1")
play=$(realpath "$2")
check=$(realpath "$3")
out=$(realpath -m "$4")

work=$(mktemp -d)
player_pid=""
cleanup() {
    # Killed outright: a cleanup must not wait on a player that a failed
    # check may have left stuck.
    [ -n "$player_pid" ] && kill -9 "$player_pid" 2>/dev/null || true
    stop_xserver
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    [ -f "$work/player.log" ] && sed 's/^/player: /' "$work/player.log"
    exit 1
}

mkdir -p "$out" "$work/play"
for f in game.nes palette.pal artwork.jpg; do
    cp "$play/$f" "$work/play/$f"
done

start_xserver "$work"

(cd "$work/play" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" exec "$player") \
    >"$work/player.log" 2>&1 &
player_pid=$!

# Every wait below ends as soon as what it waits for holds, and allows a busy
# machine many times what an idle one needs.
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Halvenor$' | head -n 1)
[ -n "$window" ] || fail "no window"
xdotool windowfocus --sync "$window"

shot() { import -window "$window" "$out/$1.png"; }

# Takes the screenshot NAME until the check after it holds, for up to a
# minute: a busy machine may run the player's passes slowly.
wait_for() {
    name=$1
    shift
    for _ in $(seq 300); do
        shot "$name"
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

not() { ! "$@"; }

size() {
    eval "$(xdotool getwindowgeometry --shell "$window")"
    echo "${WIDTH}x${HEIGHT}"
}

# At the window's scale, picture column x, row y in window pixels.
point() { xdotool mousemove --window "$window" $(($1 * $scale + 1)) $(($2 * $scale + 1)); }

double_click() {
    point "$1" "$2"
    sleep 0.2
    xdotool click --repeat 2 --delay 100 1
}

# The heading stands at picture row 20 only once the panel has fully slid in.
heading_shown() { "$check" "$out/$1.png" "$scale" text 20 20 80FF80 "HALVENOR CONFIG" >/dev/null; }

# A binding row's field: picture row, colour, expected name. A row under the
# pointer is drawn warmer (screen colour FFFF9F) than one that is not (FFFFFF).
row_shows() { "$check" "$out/$1.png" "$scale" text 76 "$2" "$3" "$4" >/dev/null; }

tint() { "$check" "$out/$1.png" "$scale" tint; }

# Nonzero bytes of the sound written between two file sizes.
sound_bytes() { tail -c +"$(($1 + 1))" "$work/audio.raw" | head -c "$(($2 - $1))" | tr -d '\000' | wc -c; }

pixels_changed() { compare -metric AE "$out/$1.png" "$out/$2.png" null: 2>&1 || true; }

audio_size() { stat -c %s "$work/audio.raw" 2>/dev/null || echo 0; }

scale=3
[ "$(size)" = 768x672 ] || fail "window is $(size), not 768x672"
# The demo's title moves and plays music: what stops while the overlay is open
# is seen going on before it.
start=$(audio_size)
shot closed
heading_shown closed && fail "heading shown before the overlay was opened"
moved_since_closed() { [ "$(pixels_changed closed "$1")" != 0 ]; }
wait_for closed_later moved_since_closed closed_later || fail "the picture stands still with the overlay closed"
heard=0
for _ in $(seq 300); do
    heard=$(sound_bytes "$start" "$(audio_size)")
    [ "$heard" -gt 0 ] && break
    sleep 0.2
done
[ "$heard" -gt 0 ] || fail "no sound with the overlay closed"

# --- Escape slides the panel in; frames stop and the sound is silent.
xdotool key Escape
wait_for open heading_shown open || fail "no heading after Escape"
[ "$(tint open)" -ge 75 ] || fail "panel not tinted: $(tint open)%"
start=$(audio_size)
sleep 1
shot open_later
end=$(audio_size)
[ "$end" -gt "$start" ] || fail "no sound written while open"
heard=$(sound_bytes "$start" "$end")
[ "$heard" -eq 0 ] || fail "$heard sound bytes not silent while open"
[ "$(pixels_changed open open_later)" = 0 ] || fail "the picture changed while the overlay was open"

# --- A double click on the A row, then K held as a finger would: the row
# shows "K".
double_click 30 118
sleep 0.3
xdotool keydown k
wait_for captured row_shows captured 116 FFFF9F K || fail "the A row does not show K"
xdotool keyup k
point 250 200
wait_for captured_away row_shows captured_away 116 FFFFFF K || fail "the A row stays warm off the pointer"

# --- Escape during a capture cancels it, in the pass where the key first
# shows, instead of being captured; the overlay stays open.
double_click 30 110
sleep 0.3
xdotool key Escape
wait_for cancelled row_shows cancelled 108 FFFF9F Z || fail "Escape was captured on the B row"
heading_shown cancelled || fail "Escape during a capture closed the overlay"

# --- A key already held when the capture starts is captured.
xdotool keydown j
double_click 30 110
wait_for held row_shows held 108 FFFF9F J || fail "the B row does not show J"
xdotool keyup j

# --- Escape closes.
xdotool key Escape
wait_for closed_again not heading_shown closed_again || fail "heading still shown after Escape"

# --- The right button opens and closes.
xdotool click 3
wait_for right_open heading_shown right_open || fail "no heading after the right button"
xdotool click 3
wait_for right_closed not heading_shown right_closed || fail "heading still shown after the right button"

# --- A click on "2x" makes the window 512 x 448.
xdotool key Escape
wait_for reopened heading_shown reopened || fail "no heading after Escape"
point 105 135
sleep 0.2
xdotool click 1
for _ in $(seq 300); do
    [ "$(size)" = 512x448 ] && break
    sleep 0.2
done
[ "$(size)" = 512x448 ] || fail "window is $(size) after 2x, not 512x448"
scale=2
wait_for scale2 heading_shown scale2 || fail "no heading at scale 2"

# --- F10 during a capture of the Up row, and Yes: the capture ends with the
# binding unchanged, and the new ones reach "config.cfg". The box's title
# is a UTF-8 property that the window search cannot match; the window tree
# names it.
box_window() { xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Please confirm":.*/\1/p' | head -n 1; }
double_click 30 62
sleep 0.3
xdotool key F10
box=""
for _ in $(seq 300); do
    box=$(box_window)
    [ -n "$box" ] && break
    sleep 0.2
done
[ -n "$box" ] || fail "no confirmation box"
xdotool windowactivate --sync "$box"
xdotool key Return
for _ in $(seq 600); do
    kill -0 "$player_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$player_pid" 2>/dev/null && fail "the player did not end after Yes"
status=0
wait "$player_pid" || status=$?
player_pid=""
[ "$status" -eq 0 ] || fail "player ended with status $status"
for line in ButtonA=0x0000000e ButtonB=0x0000000d ButtonUp=0x00000052 Scale=2; do
    grep -qx "$line" "$work/play/config.cfg" || fail "config.cfg lacks $line"
done
echo "overlay end to end: passed"
