#!/usr/bin/env bash
# The real program on a database under the program password: the login dialog comes up before any
# main window, a wrong password is refused and changes nothing, the right one opens the file and the
# main window with it. Runs under its own Xvfb display.
set -euo pipefail
. "$(dirname "$0")/xvfb_display.sh"
veltrane=$1
cli=$2

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    retry_on_fresh_x "$*"
    echo "FAIL: $*" >&2
    [ -s "$work/out.log" ] && sed 's/^/program: /' "$work/out.log" >&2
    [ -n "${DISPLAY:-}" ] && xvfb_report
    exit 1
}

# xdotool's search ends with an error when a window it walks goes away meanwhile (the balloon of a wrong
# password closes after a second), so an empty answer is asked again before it counts.
visible() {
    local found=""
    for _ in 1 2 3 4 5; do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
        [ -n "$found" ] && break
        sleep 0.1
    done
    echo "$found"
}

# An installation of our own, its database under a password of the user's.
cp "$veltrane" "$work/veltrane"
"$cli" init-db "$work/veltrane.db" >/dev/null
"$cli" --db "$work/veltrane.db" host add 10.9.9.9 --note protected >/dev/null
printf 'Open-Sesame 7\n' >"$work/pw"
"$cli" --db "$work/veltrane.db" rekey --new-password-file "$work/pw" >/dev/null
before=$(sha256sum "$work/veltrane.db" | cut -d' ' -f1)

start_xvfb 1280x1024

XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb "$work/veltrane" >"$work/out.log" 2>&1 &
app_pid=$!

login=""
for _ in $(seq 100); do
    login=$(visible '^Check Password $')
    [ -n "$login" ] && break
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended before asking for the password"
    sleep 0.1
done
[ -n "$login" ] || fail "no login dialog within 10 s"
[ -z "$(visible '^Veltrane$')" ] || fail "the main window is visible while the password is asked"

# Typed into the focused window: keys sent to a window that has no focus do not reach its fields.
xdotool windowfocus --sync "$login"

# A wrong password: the dialog stays, no main window, the file is as it was.
xdotool type --delay 20 'open-sesame 7'
xdotool key Return
sleep 1
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after a wrong password"
[ -n "$(visible '^Check Password $')" ] || fail "the login dialog closed after a wrong password"
[ -z "$(visible '^Veltrane$')" ] || fail "a wrong password opened the main window"
after=$(sha256sum "$work/veltrane.db" | cut -d' ' -f1)
[ "$before" = "$after" ] || fail "a wrong password changed the database"

# The right one opens the file, and the main window comes up.
xdotool windowfocus --sync "$login"
# The refused entry stays in the field (at most 30 characters) for another try.
xdotool key --repeat 30 --delay 10 BackSpace
xdotool type --delay 20 'Open-Sesame 7'
xdotool key Return
main=""
for _ in $(seq 100); do
    main=$(visible '^Veltrane$')
    [ -n "$main" ] && break
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended after the right password"
    sleep 0.1
done
[ -n "$main" ] || fail "no main window within 10 s of the right password"
grep -qi 'error\|closed database' "$work/out.log" && fail "the program reported an error"
echo "PASS: the login's password opened the protected database; a wrong one was refused"
