#!/usr/bin/env bash
# Stops the SSH test servers and the ssh-agent and removes everything start.sh created: the throw-away
# accounts and Dropbear's group, the sudoers drop-ins and the work folder (keys, the su stand-in's root
# password and the pwquality server's common-password included; its bind mount lived in that server's
# mount namespace only and is gone with it). Needs root; harmless when nothing runs.
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
    [[ "$pid" =~ ^[0-9]+$ ]] || continue
    cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null || true)
    if [[ "$cmdline" == *"$work_dir/"* ]]; then
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
done

for account in "${openssh_accounts[@]}" "$manager_account" "${dialog_accounts[@]}" "${fleet_accounts[@]}" \
    "${variant_accounts[@]}"; do
    if getent passwd "$account" >/dev/null; then
        # -f: a session that is still closing must not keep the account alive.
        userdel -r -f "$account" >/dev/null 2>&1 || echo "stop.sh: could not remove $account" >&2
    fi
done

if getent group "$dropbear_group" >/dev/null; then
    groupdel "$dropbear_group" || echo "stop.sh: could not remove the group $dropbear_group" >&2
fi
# Only if the namespace was not private after all: the mount would then show here too.
while mount_source=$(findmnt -n -o SOURCE /etc/pam.d/common-password 2>/dev/null) &&
    [[ "$mount_source" == *"$work_dir/"* ]]; do
    umount /etc/pam.d/common-password || break
done

rm -f "$sudoers_dropin" "$sudoers_fleet" "$sudoers_busybox" "$sudoers_pwquality"
rm -rf "$work_dir"
exit 0
