#!/usr/bin/env bash
# Stops every loopback test server and removes what the start scripts created.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for script in "$here"/*/stop.sh; do
    [ -e "$script" ] || continue
    bash "$script" || echo "!! $(basename "$(dirname "$script")") did not stop cleanly" >&2
done
exit 0
