#!/usr/bin/python3 -I
"""BusyBox's passwd for the account that called this through sudo, run the way a setuid BusyBox runs it:
the real user is the caller, so it asks the old password, changes the caller's own password only and says
"passwd: password for NAME changed by NAME"; the effective user is root, so it can write /etc/shadow. The
sudoers rule start.sh writes lets the BusyBox server's accounts run this and nothing else."""

import os
import pwd
import sys

try:
    caller = pwd.getpwuid(int(os.environ["SUDO_UID"]))
except (KeyError, ValueError):
    sys.exit("bb-passwd: run through sudo only")
if caller.pw_uid == 0 or not caller.pw_name.startswith("vtbb_"):
    sys.exit("bb-passwd: only the BusyBox test accounts may use this")
os.setgroups([])
os.setresgid(caller.pw_gid, caller.pw_gid, caller.pw_gid)
os.setresuid(caller.pw_uid, 0, 0)
os.execv("/bin/busybox", ["passwd"] + sys.argv[1:])
