#!/usr/bin/env bash
# Starts every loopback test server: each subfolder's start.sh, in name order. Needs root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
status=0
for script in "$here"/*/start.sh; do
    [ -e "$script" ] || continue
    echo "== starting $(basename "$(dirname "$script")")"
    if ! bash "$script"; then
        echo "!! $(basename "$(dirname "$script")") could not start" >&2
        status=1
    fi
done
exit $status
