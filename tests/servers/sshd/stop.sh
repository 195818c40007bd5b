#!/usr/bin/env bash
# Stops the SSH test servers and removes everything start.sh created: the throw-away accounts,
# the sudoers drop-ins and the work folder (keys and the su stand-in's root password included). Needs root; harmless when nothing runs.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/settings.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "stop.sh: run as root" >&2
    exit 1
fi

for pidfile in "$work_dir"/*.pid; do
    [ -e "$pidfile" ] || continue
    pid=$(cat "$pidfile" 2>/dev/null || true)
    # Only a process started from our folder: a stale pid may belong to something else by now.
    if [[ "$pid" =~ ^[0-9]+$ ]] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "$work_dir/"; then
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
done

for account in "${openssh_accounts[@]}" "$manager_account" "${dialog_accounts[@]}" "${fleet_accounts[@]}"; do
    if getent passwd "$account" >/dev/null; then
        # -f: a session that is still closing must not keep the account alive.
        userdel -r -f "$account" >/dev/null 2>&1 || echo "stop.sh: could not remove $account" >&2
    fi
done

rm -f "$sudoers_dropin" "$sudoers_fleet"
rm -rf "$work_dir"
exit 0
