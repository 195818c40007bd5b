#!/bin/bash
# Forced command of the manager account: lets it run "passwd NAME" for test accounts only.
# It splits the requested command with eval, as a careless real host does, so an unquoted
# "passwd x; touch /tmp/f" really runs the touch: the client's quoting has to prevent that.
eval "set -- $SSH_ORIGINAL_COMMAND"
# A client that asks for English messages sets them in front when the server refuses them as
# environment ("LC_ALL=C LANG=C passwd x", "env LC_ALL=C passwd x"), as a shell would take them.
[ "${1:-}" = env ] && shift
while [ "$#" -gt 0 ] && [[ "$1" =~ ^(LANG|LANGUAGE|LC_[A-Z]+)=[A-Za-z0-9_.@-]*$ ]]; do
    export "$1"
    shift
done
if [ "$#" -eq 2 ] && [ "$1" = passwd ] && [[ "$2" =~ ^vtst_[a-z0-9_]+$ ]]; then
    exec sudo -n /usr/bin/passwd "$2"
fi
if [ "$#" -eq 2 ] && [ "$1" = echo ] && [ "$2" = 2009 ]; then
    echo 2009
    exit 0
fi
echo "mgr-wrapper: only \"passwd vtst_NAME\" is allowed" >&2
exit 1
