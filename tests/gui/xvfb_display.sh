# Sourced by the tests that run the real program under their own X server.
# start_xvfb WIDTHxHEIGHT: starts Xvfb on a display it picks itself (it writes the number once it takes
# connections), sets xvfb_pid and exports DISPLAY. Needs $work and a fail function.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 150); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start within 15 s"
    export DISPLAY=":$(head -n1 "$work/display")"
}
