# Sourced by the tests that run the real program under their own X server.
# start_xvfb WIDTHxHEIGHT: starts Xvfb on a display it picks itself (it writes the number once it takes
# connections), checks that a client really reaches it, sets xvfb_pid and exports DISPLAY.
# stop_xvfb: ends it and waits until it has removed its socket and lock, so a server started next
# cannot have its fresh socket unlinked by this one's teardown. Needs $work and a fail function.
start_xvfb() {
    local attempt
    for attempt in 1 2 3; do
        rm -f "$work/display"
        Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 150); do [ -s "$work/display" ] && break; sleep 0.1; done
        if [ -s "$work/display" ]; then
            export DISPLAY=":$(head -n1 "$work/display")"
            for _ in $(seq 50); do
                xprop -root >/dev/null 2>&1 && return 0
                sleep 0.1
            done
        fi
        echo "Xvfb attempt $attempt did not take connections; starting another" >&2
        stop_xvfb
    done
    sed 's/^/Xvfb: /' "$work/xvfb.log" >&2
    fail "Xvfb did not start within three attempts"
}

stop_xvfb() {
    [ -n "${xvfb_pid:-}" ] || return 0
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
}
