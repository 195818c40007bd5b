# Sourced by the tests that run the real program under their own X server.
# start_xvfb WIDTHxHEIGHT: starts Xvfb on a display number of its own, under a cookie of its own, checks
# that a client reaches this very server (a token on its root window), sets xvfb_pid and exports DISPLAY
# and XAUTHORITY. The number is drawn at random from a high range and skipped while any lock file, socket
# file or abstract socket holds it: an X server elsewhere on the machine (another test run, a desktop, a
# container sharing /tmp or the network namespace) then cannot answer our clients in place of ours.
# stop_xvfb: ends it and waits until it has removed its socket and lock.
# xvfb_report: what a failing test prints about the X server.
# x_server_lost: true when the X server, or a companion in x_companions (the window manager), has gone
# away, or the program says it could not reach the server; a test's fail function then calls
# retry_on_fresh_x, and the test runs again from its start on a new server, three times at most. What the
# X server does is not under test: how the program behaves on one that stays up is.
# Needs $work and a fail function.
x_companions=()

# The sourcing script runs itself as a child; the child does the work, and exit 75 asks for another go.
if [ -z "${VELTRANE_X_ATTEMPT:-}" ]; then
    for x_attempt in 1 2 3; do
        x_status=0
        VELTRANE_X_ATTEMPT=$x_attempt bash "$0" "$@" || x_status=$?
        [ "$x_status" -eq 75 ] || exit "$x_status"
        echo "the X server went away (attempt $x_attempt of 3)" >&2
    done
    echo "FAIL: the X server went away in each of three attempts" >&2
    exit 1
fi

# A command that fails under set -e while the server is gone asks for another go as well.
set -E
trap 'retry_on_fresh_x "a command failed"' ERR

x_server_lost() {
    local pid
    [ -n "${xvfb_pid:-}" ] && ! kill -0 "$xvfb_pid" 2>/dev/null && return 0
    for pid in "${x_companions[@]}"; do kill -0 "$pid" 2>/dev/null || return 0; done
    [ -s "$work/out.log" ] && grep -qE 'could not connect to display|X11 connection broke' "$work/out.log" && return 0
    return 1
}

retry_on_fresh_x() {
    x_server_lost || return 0
    echo "the X server went away while: $*" >&2
    [ -s "$work/out.log" ] && sed 's/^/program: /' "$work/out.log" >&2
    xvfb_report
    exit 75
}
display_taken() {
    [ -e "/tmp/.X$1-lock" ] || [ -e "/tmp/.X11-unix/X$1" ] || grep -q "@/tmp/.X11-unix/X$1\$" /proc/net/unix 2>/dev/null
}

start_xvfb() {
    local attempt number token
    for attempt in 1 2 3; do
        number=$((1000 + RANDOM % 29000))
        while display_taken "$number"; do number=$((number + 1)); done
        export DISPLAY=":$number"
        export XAUTHORITY="$work/Xauthority"
        : >"$XAUTHORITY"
        xauth -q add "$DISPLAY" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
        # -noreset: the server must not reset itself between one client leaving and the next arriving.
        Xvfb "$DISPLAY" -auth "$XAUTHORITY" -noreset -nolisten tcp -screen 0 "$1x24" >"$work/xvfb.log" 2>&1 &
        xvfb_pid=$!
        token="veltrane-test-$$-$attempt"
        for _ in $(seq 100); do
            kill -0 "$xvfb_pid" 2>/dev/null || break
            if xprop -root -f VELTRANE_TEST_SERVER 8s -set VELTRANE_TEST_SERVER "$token" 2>/dev/null &&
                xprop -root VELTRANE_TEST_SERVER 2>/dev/null | grep -qF "\"$token\""; then
                return 0
            fi
            sleep 0.1
        done
        echo "Xvfb attempt $attempt on $DISPLAY did not take connections; starting another" >&2
        xvfb_report
        stop_xvfb
    done
    echo "FAIL: Xvfb did not start within three attempts" >&2
    exit 1
}

stop_xvfb() {
    [ -n "${xvfb_pid:-}" ] || return 0
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
}

xvfb_report() {
    {
        if [ -n "${xvfb_pid:-}" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
            echo "X server: $DISPLAY, process $xvfb_pid still runs"
        else
            echo "X server: $DISPLAY, process ${xvfb_pid:-none} has ended"
        fi
        [ -s "$work/xvfb.log" ] && sed 's/^/Xvfb: /' "$work/xvfb.log"
        echo "X sockets on this machine:"
        grep -o '@\?/tmp/\.X11-unix/X[0-9]*' /proc/net/unix 2>/dev/null | sort | uniq | sed 's/^/  /'
        echo "X servers and window managers running:"
        ps -eo pid,args 2>/dev/null | grep -E '[X]vfb|[X]org|[X]wayland|[o]penbox' | sed 's/^/  /'
    } >&2 || true
}
