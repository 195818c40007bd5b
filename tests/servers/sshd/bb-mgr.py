#!/usr/bin/python3 -I
"""Forced command of the BusyBox server's manager: "passwd vtbb_uN" (also behind "env", VAR=value
assignments and "sudo [options]") runs BusyBox's passwd for that account as root, as an Alpine host's
root does; "echo 2009" answers the login probe; anything else is refused."""

import os
import re
import shlex
import sys

command = os.environ.get("SSH_ORIGINAL_COMMAND", "")
if command == "echo 2009":
    print("2009")
    sys.exit(0)
try:
    words = shlex.split(command)
except ValueError:
    words = []
while words:
    if words[0] in ("env", "exec") or re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", words[0]):
        words.pop(0)
    elif words[0] == "sudo":
        words.pop(0)
        while words and words[0].startswith("-"):
            if words.pop(0) in ("-p", "-u", "-g", "-C", "-h"):
                words = words[1:]
    else:
        break
passwd = ("passwd", "/usr/bin/passwd", "/bin/passwd")
if len(words) == 2 and words[0] in passwd and re.match(r"^vtbb_u[0-9]+$", words[1]):
    os.execv("/usr/bin/sudo", ["sudo", "-n", "/bin/busybox", "passwd", words[1]])
sys.stderr.write('bb-mgr: only "passwd vtbb_uN" is allowed\n')
sys.exit(1)
