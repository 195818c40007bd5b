#!/usr/bin/env bash
# The real program with password protection on: the login dialog comes up before any main window,
# Escape cancels it, the process ends, no main window was ever mapped, the database is unchanged and
# the column widths are still written. Runs under its own Xvfb display.
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

# An installation of our own: the program, its database and Options.ini side by side.
cp "$veltrane" "$work/veltrane"
"$cli" init-db "$work/veltrane.db" >/dev/null
sqlcipher "$work/veltrane.db" >/dev/null <<'SQL'
PRAGMA key = 'vmr_3317';
update SysParams set EnablePWD = '1';
SQL
before=$(sha256sum "$work/veltrane.db" | cut -d' ' -f1)

start_xvfb 1280x1024

XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb "$work/veltrane" >"$work/out.log" 2>&1 &
app_pid=$!

login=""
for _ in $(seq 100); do
    login=$(xdotool search --onlyvisible --name '^Check Password $' 2>/dev/null | head -n1 || true)
    [ -n "$login" ] && break
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended before asking for the password"
    sleep 0.1
done
[ -n "$login" ] || fail "no login dialog within 10 s"

# Every visible top-level window now must be the login dialog: the main window is still hidden.
for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null || true); do
    name=$(xdotool getwindowname "$w" 2>/dev/null || true)
    case "$name" in
        "Check Password "|"") ;;
        *) fail "a window '$name' is visible while the password is asked" ;;
    esac
done

# The program may end on the key press, before xdotool sends the release to the then gone window, so
# xdotool's own status says nothing: the program ending is what counts.
for _ in $(seq 10); do
    login=$(xdotool search --onlyvisible --name '^Check Password $' 2>/dev/null | head -n1 || true)
    [ -n "$login" ] && xdotool key --window "$login" Escape >/dev/null 2>&1 || true
    for _ in $(seq 10); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app_pid" 2>/dev/null || break
done
if kill -0 "$app_pid" 2>/dev/null; then fail "the program still runs after the login was cancelled"; fi
wait "$app_pid" || true
app_pid=""

after=$(sha256sum "$work/veltrane.db" | cut -d' ' -f1)
[ "$before" = "$after" ] || fail "the database changed"
grep -q '^\[frmMain-lvUsers\]' "$work/Options.ini" || fail "the column widths were not written at shutdown"
echo "PASS: cancelled gate showed no main window and left the database unchanged"
