#!/usr/bin/env bash
# The Debian package from the existing build: cpack -G DEB, its fields and library dependencies, the
# files it holds, then both programs run from the unpacked package as an installed copy: their files
# go to the user's data folder (created owner-only, with a database), never beside the programs, and
# F1 in the real window opens the installed manual. The GUI runs under its own Xvfb display.
set -euo pipefail
. "$(dirname "$0")/../gui/xvfb_display.sh"
build=$1

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

# --- Build the package into a folder of its own; the build tree is left as it was.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB failed"
}
debs=("$work"/pkg/veltrane_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single veltrane_*.deb: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = veltrane ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$("$build/bin/veltrane-cli" --version | cut -d' ' -f2)" ] ||
    fail "package version differs from the programs' version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6svg6 libsqlcipher0 libssh-4 libcurl4 libc6; do
    grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library (shlibdeps?): $depends"
done
apt-get -s install "$deb" >"$work/apt.log" 2>&1 && grep -q '^Inst veltrane ' "$work/apt.log" || {
    cat "$work/apt.log" >&2
    fail "apt cannot install the package with what this system has"
}

# Only the programs and read-only data; nothing of a user's (a database, settings, logs).
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$' >"$work/contents"
for f in usr/bin/veltrane usr/bin/veltrane-cli usr/share/veltrane/manual/index.html \
    usr/share/veltrane/manual/screenshots/main-window.png usr/share/applications/veltrane.desktop \
    usr/share/icons/hicolor/scalable/apps/veltrane.svg usr/share/metainfo/example.veltrane.Veltrane.metainfo.xml \
    usr/share/man/man1/veltrane.1.gz usr/share/man/man1/veltrane-cli.1.gz \
    usr/share/bash-completion/completions/veltrane-cli; do
    grep -qx "$f" "$work/contents" || fail "the package lacks $f"
done
if grep -vE '^usr/(bin/veltrane(-cli)?|share/(veltrane/manual|applications|icons/hicolor|metainfo|man/man1|bash-completion/completions)/.+)$' \
    "$work/contents"; then
    fail "the package holds files outside the expected places (above)"
fi
dpkg-deb -c "$deb" | grep -v '^drwxr-xr-x root/root\|^-rw-r--r-- root/root\|^-rwxr-xr-x root/root' &&
    fail "files with other owners or modes (above)"

dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
for program in veltrane veltrane-cli; do
    file "$bin/$program" | grep ', stripped' >/dev/null || fail "$program is not stripped"
    readelf -d "$bin/$program" | grep -qE '\((RPATH|RUNPATH)\)' && fail "$program carries an RPATH into the build tree"
done

# --- The command-line companion as a user of the installed copy.
export XDG_RUNTIME_DIR=$work
[ "$(HOME=$work/home "$bin/veltrane-cli" --version)" = "veltrane-cli $(dpkg-deb -f "$deb" Version)" ] ||
    fail "veltrane-cli --version"
HOME=$work/home XDG_DATA_HOME=$work/xdg "$bin/veltrane-cli" paths >"$work/paths"
grep -qx "Data folder:  $work/xdg/veltrane" "$work/paths" || fail "paths: $(cat "$work/paths")"
grep -qx "Database:     $work/xdg/veltrane/veltrane.db" "$work/paths" || fail "paths: $(cat "$work/paths")"
grep -qx "Manual:       $work/root/usr/share/veltrane/manual/index.html" "$work/paths" || fail "paths: $(cat "$work/paths")"
[ ! -e "$work/xdg" ] || fail "paths created files"
HOME=$work/home XDG_DATA_HOME=$work/xdg "$bin/veltrane-cli" list >"$work/list" 2>"$work/out.log" ||
    fail "veltrane-cli list on a first start"
grep -q 'Linux' "$work/list" || fail "the first start's database has no default profiles: $(cat "$work/list")"
[ "$(stat -c %a "$work/xdg/veltrane")" = 700 ] || fail "data folder mode $(stat -c %a "$work/xdg/veltrane")"
[ "$(stat -c %a "$work/xdg/veltrane/veltrane.db")" = 600 ] || fail "database mode"

# --- The program from the desktop: no XDG_DATA_HOME, so ~/.local/share/veltrane.
"$bin/veltrane" --version | grep -qx "veltrane $(dpkg-deb -f "$deb" Version)" || fail "veltrane --version"
# Starts the program and waits for its main window; false when it ended without one because the X
# server went away (another test run on this machine may tear down a server on the same display).
start_program() {
    HOME=$work/desktop QT_QPA_PLATFORM=xcb "$bin/veltrane" >"$work/out.log" 2>&1 &
    app_pid=$!
    window=""
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name '^Veltrane$' 2>/dev/null | head -n1 || true)
        [ -n "$window" ] && return 0
        if ! kill -0 "$app_pid" 2>/dev/null; then
            app_pid=""
            grep -q 'could not connect to display' "$work/out.log" && return 1
            fail "the program ended before showing its window"
        fi
        sleep 0.1
    done
    fail "no main window within 15 s"
}
start_xvfb 1280x1024
if ! start_program; then
    echo "the X server went away; once more on a new one" >&2
    stop_xvfb
    start_xvfb 1280x1024
    start_program || fail "the program could not connect to a fresh X server either"
fi
data=$work/desktop/.local/share/veltrane
[ "$(stat -c %a "$data")" = 700 ] || fail "the program's data folder is not 0700"
[ -s "$data/veltrane.db" ] || fail "the first start made no database in $data"

xdotool windowfocus --sync "$window" >/dev/null 2>&1 || true
help=""
for _ in $(seq 50); do
    xdotool key F1 >/dev/null 2>&1 || true
    help=$(xdotool search --onlyvisible --name '^Veltrane Help - Veltrane user manual$' 2>/dev/null | head -n1 || true)
    [ -n "$help" ] && break
    sleep 0.2
done
[ -n "$help" ] || fail "F1 opened no help window on the installed manual"

kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""
[ "$(ls "$bin")" = "$(printf 'veltrane\nveltrane-cli')" ] || fail "files were written beside the programs: $(ls "$bin")"
echo "PASS: package fields, dependencies and contents; both programs run as an installed copy"
