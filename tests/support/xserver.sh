# Sourced by the shell end-to-end tests.
#
#   start_xserver WORK   starts a private Xvfb, whose display number is of its
#                        own choosing so that parallel runs never meet; sets
#                        xvfb_pid, exports DISPLAY, and calls the test's fail
#                        when the server does not come up within a minute.
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
}
