#!/usr/bin/env bash
# Stops the loopback SMTP test server and removes its folder.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/settings.sh"

pid_file="$smtp_work_dir/server.pid"
if [ -f "$pid_file" ]; then
    pid=$(cat "$pid_file")
    # Only our server: the pid may have been reused since.
    if grep -qa mail-server.py "/proc/$pid/cmdline" 2>/dev/null; then
        kill "$pid" 2>/dev/null
        for _ in $(seq 1 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
fi
rm -rf "$smtp_work_dir"
exit 0
