#!/bin/bash
# Forced command of the su manager on the fleet server: runs the requested command as its shell would,
# with the su stand-in (fake-su.py, installed as "su") first on PATH, so that "su - root -c ..." asks
# for the test root password and never touches the real root account.
here=$(dirname "$(readlink -f "$0")")
export PATH="$here/su-bin:/usr/local/bin:/usr/bin:/bin"
exec /bin/bash -c "$SSH_ORIGINAL_COMMAND"
