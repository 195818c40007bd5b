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

# Until the main window lands, show what the database holds.
exec "$bin/veltrane-cli" --db "$db" list
