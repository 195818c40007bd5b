#!/usr/bin/env bash
# The real program under a real window manager (openbox) on a 1280x800 screen: the whole window,
# frame included, fits the work area, so the status bar with the hint pane and the counts is on
# screen. Runs under its own Xvfb display.
set -euo pipefail
. "$(dirname "$0")/xvfb_display.sh"
veltrane=$1
cli=$2
screen_height=800

work=$(mktemp -d)
pids=()
xvfb_pid=""
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    retry_on_fresh_x "$*"
    echo "FAIL: $*" >&2
    [ -s "$work/openbox.log" ] && sed 's/^/openbox: /' "$work/openbox.log" >&2
    [ -s "$work/out.log" ] && sed 's/^/program: /' "$work/out.log" >&2
    [ -n "${DISPLAY:-}" ] && xvfb_report
    exit 1
}

cp "$veltrane" "$work/veltrane"
"$cli" init-db "$work/veltrane.db" >/dev/null

start_xvfb 1280x${screen_height}

# openbox runs its --startup command once it manages windows. A window mapped earlier, while it is
# still starting, can be lost to it and stay unmapped for good; and the root property that names a
# window manager says nothing of that (xprop even succeeds while the property is absent).
HOME=$work openbox --startup "touch $work/openbox.ready" >"$work/openbox.log" 2>&1 &
pids+=($!)
x_companions+=($!)
for _ in $(seq 300); do [ -e "$work/openbox.ready" ] && break; sleep 0.1; done
[ -e "$work/openbox.ready" ] || fail "openbox did not come up within 30 s"

XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb "$work/veltrane" >"$work/out.log" 2>&1 &
app_pid=$!
pids+=($app_pid)

window=""
for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Veltrane$' 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    kill -0 "$app_pid" 2>/dev/null && program="still runs" || program="has ended"
    xwininfo -root -tree 2>/dev/null | grep -i '"veltrane' | sed 's/^ */window: /' >&2 || true
    fail "no main window within 30 s; the program $program"
fi

# The frame is known only once the window manager has decorated the window; on a busy machine that
# takes a while, so up to 20 s.
bottom=0
for _ in $(seq 100); do
    sleep 0.2
    # xwininfo, not xdotool: the latter adds the frame's offset once more under a reparenting manager.
    info=$(xwininfo -id "$window" 2>&1) || fail "xwininfo could not read the window: $info"
    Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    HEIGHT=$(sed -n 's/.*Height: *//p' <<<"$info")
    bottom=$((Y + HEIGHT))
    [ "$bottom" -le "$screen_height" ] && [ "$Y" -gt 0 ] && break
done
[ "$Y" -gt 0 ] || fail "the window is not framed (client at y=$Y): is openbox running?"
[ "$bottom" -le "$screen_height" ] || fail "the window's client area ends at y=$bottom, below the ${screen_height}-pixel screen"
echo "PASS: framed main window ends at y=$bottom of $screen_height"
