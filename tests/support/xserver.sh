# Sourced by the shell end-to-end tests.
#
#   start_xserver WORK   starts a private Xvfb, whose display number is of its
#                        own choosing so that parallel runs never meet, and a
#                        window manager on it, as a desktop has; sets
#                        xvfb_pid and manager_pid, exports DISPLAY, and calls
#                        the test's fail when the server does not come up
#                        within a minute or the manager takes no window in
#                        within another.
#   stop_xserver         ends both, for the test's cleanup.
start_xserver() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 600); do
        [ -s "$1/display" ] && break
        sleep 0.1
    done
    [ -s "$1/display" ] || fail "Xvfb did not start"
    DISPLAY=":$(cat "$1/display")"
    export DISPLAY
    openbox --sm-disable >"$1/manager.log" 2>&1 &
    manager_pid=$!
    # A window mapped before the manager manages windows may never be shown.
    ready=$(sh "$(dirname "$0")/../support/manager_ready.sh") || fail "$ready"
}

stop_xserver() {
    for pid in ${manager_pid:-} ${xvfb_pid:-}; do
        kill "$pid" 2>/dev/null || true
    done
    manager_pid="" xvfb_pid=""
}
