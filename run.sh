#!/usr/bin/env bash
# Installs what is missing, builds, creates the default database beside the program when there is
# none, and starts Veltrane.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

bash scripts/install-deps.sh
bash scripts/build.sh

bin="$top/build/bin"
db="$bin/veltrane.db"
if [ ! -e "$db" ]; then
    "$bin/veltrane-cli" init-db "$db"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display to show the window on; run it in a desktop session (or with DISPLAY set)." >&2
    echo "run.sh: the database is ready: $db (veltrane-cli --db \"$db\" list shows it)" >&2
    exit 1
fi
exec "$bin/veltrane"
