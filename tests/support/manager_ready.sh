#!/bin/sh
# Waits until the window manager on $DISPLAY has taken a window in, so that
# the player's window is not mapped before the manager manages windows: a
# manager announces itself on the root window before it does, and a window
# mapped in between may be redirected to it and never shown. A throwaway
# window counts once it is seen framed (its parent is no longer the root)
# and viewable; one left unframed for a while is replaced by a fresh one,
# since its map request may be the one the manager lost.
#
#   manager_ready.sh [SECONDS]   status 0 once a window was framed; otherwise
#                                one line on standard output, status 1. The
#                                wait is a minute unless SECONDS is given.
set -u

deadline=$(($(date +%s) + ${1:-60}))
# Seconds one throwaway window is given before a fresh one replaces it.
per_window=5

root=$(xwininfo -root 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
if [ -z "$root" ]; then
    echo "no X server answers on ${DISPLAY:-no display}"
    exit 1
fi

name=manager-ready-$$
probe=""
trap '[ -n "$probe" ] && kill "$probe" 2>/dev/null' EXIT

framed() {
    id=$(xwininfo -name "$name" 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$id" ] || return 1
    info=$(xwininfo -children -id "$id" 2>/dev/null) || return 1
    parent=$(echo "$info" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$parent" ] && [ "$parent" != "$root" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable
}

tries=0
while [ "$(date +%s)" -lt "$deadline" ]; do
    xev -name "$name" -geometry 32x32+0+0 >/dev/null 2>&1 &
    probe=$!
    tries=$((tries + 1))
    window_deadline=$(($(date +%s) + per_window))
    while [ "$(date +%s)" -lt "$window_deadline" ] && [ "$(date +%s)" -lt "$deadline" ]; do
        if framed; then
            exit 0
        fi
        kill -0 "$probe" 2>/dev/null || break
        sleep 0.1
    done
    kill "$probe" 2>/dev/null
    wait "$probe" 2>/dev/null
    probe=""
done
echo "the window manager on $DISPLAY took no window in within ${1:-60} s (throwaway windows mapped: $tries)"
exit 1
