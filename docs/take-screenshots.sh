#!/usr/bin/env bash
# Takes the screenshots of docs/screenshots/ from the real windows under a virtual X display:
# the main window with data, the runner after a test-login batch, the host editor with a balloon,
# the on-screen keyboard, the OS profile editor, the options pages and the login dialog, under a
# window manager (openbox) so that title bars and frames show as on a desktop. Needs a build (build/ or the folder given as $1) and xvfb-run. The
# batch logs into the loopback test servers when they run (tests/servers/start-all.sh); without
# them its rows show the failed connections, which makes a picture as well.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
bin="$build/bin"
out="$top/docs/screenshots"
for program in veltrane-cli veltrane-screenshots; do
    [ -x "$bin/$program" ] || { echo "No $bin/$program: build first (scripts/build.sh)" >&2; exit 1; }
done
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: apt-get install xvfb" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
db="$work/veltrane.db"
cli() { "$bin/veltrane-cli" --db "$db" "$@" >/dev/null; }

# A small installation: two loopback hosts with a few users each.
"$bin/veltrane-cli" init-db "$db" >/dev/null
cli host add 127.0.0.2:2222 --os Linux --note "build servers"
cli host add 127.0.0.4:2222 --os Solaris
password='Vt-Start#2026'
add_user() { # host login name email period [new password]
    printf '%s\n%s\n' "$password" "${6:-}" | cli user add "$1" "$2" --name "$3" --email "$4" --period "$5"
}
add_user 127.0.0.2:2222 vtst_gui2 "Ann Oakley" ann@example.org 30 'Next#Pass-1'
add_user 127.0.0.2:2222 vtst_gui3 "Bo Lindqvist" bo@example.org 90
add_user 127.0.0.2:2222 oracle "Chen Wei" chen@example.org 60 'Next#Pass-2'
add_user 127.0.0.2:2222 backup "Dora Maas" dora@example.org 30
add_user 127.0.0.4:2222 root "Eli Navarro" eli@example.org 45
# Last changes some days back, so that the Passed Days show, one of them due soon.
sqlcipher "$db" >/dev/null <<'SQL'
PRAGMA key = 'vmr_3317';
update Users set pwLastTime = julianday('now', 'localtime') - julianday('1899-12-30') - 25 where LoginName = 'vtst_gui2';
update Users set pwLastTime = julianday('now', 'localtime') - julianday('1899-12-30') - 12 where LoginName = 'vtst_gui3';
update Users set pwLastTime = julianday('now', 'localtime') - julianday('1899-12-30') - 3 where LoginName = 'oracle';
SQL

mkdir -p "$out"
XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
    xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24" \
    sh -c 'HOME="$1" openbox --startup "touch $1/openbox.ready" >/dev/null 2>&1 &
           # openbox loses a window mapped while it starts; it runs --startup once it manages windows.
           i=0; while [ ! -e "$1/openbox.ready" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
           exec "$2" "$1" "$3"' sh "$work" "$bin/veltrane-screenshots" "$out"
