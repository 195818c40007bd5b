#!/bin/bash
# Forced command of the BusyBox server's accounts: runs the requested command as their shell would, with
# BusyBox's passwd first on PATH (bin/passwd, which goes through sudo to bb-passwd.py), as on a host whose
# passwd is BusyBox's applet.
here=$(dirname "$(readlink -f "$0")")
export PATH="$here/bin:/usr/local/bin:/usr/bin:/bin"
if [ -z "${SSH_ORIGINAL_COMMAND:-}" ]; then
    exec /bin/bash -i
fi
exec /bin/bash -c "$SSH_ORIGINAL_COMMAND"
