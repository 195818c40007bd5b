#!/usr/bin/python3
"""Plays su for the su manager of the fleet server, the way util-linux su with PAM does: "Password: "
with echo off, then either the command as root or, after a pause, "su: Authentication failure" and
exit status 1. The root password is the test one in root-password beside this script (readable by
the su manager only); the real root account is never involved. "Root" runs the command with a
"passwd" that goes through sudo to the real passwd, allowed for the throw-away targets only, and a
"getent" that goes through sudo to the real getent, which may read the fleet's shadow entries only.

Understood: su [-|-l|--login] [-c COMMAND|--command=COMMAND] [root]. Only root can be the target.
"""

import os
import sys
import termios
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT_PASSWORD_FILE = os.path.join(HERE, "..", "root-password")
ROOT_BIN = os.path.join(HERE, "..", "root-bin")
FAILURE_PAUSE_S = 1.0


def say(text):
    os.write(1, text.encode())


def parse(args):
    login, command, user = False, None, None
    i = 0
    while i < len(args):
        word = args[i]
        if word in ("-", "-l", "--login"):
            login = True
        elif word in ("-c", "--command"):
            i += 1
            if i == len(args):
                return None
            command = args[i]
        elif word.startswith("--command="):
            command = word.split("=", 1)[1]
        elif word.startswith("-"):
            return None
        elif user is None:
            user = word
        else:
            return None
        i += 1
    return login, command, user or "root"


def read_password():
    say("Password: ")
    saved = None
    if os.isatty(0):
        saved = termios.tcgetattr(0)
        quiet = termios.tcgetattr(0)
        quiet[3] &= ~termios.ECHO
        termios.tcsetattr(0, termios.TCSANOW, quiet)
    try:
        data = b""
        while not data.endswith(b"\n") and not data.endswith(b"\r"):
            chunk = os.read(0, 1)
            if not chunk:
                break
            data += chunk
    finally:
        if saved is not None:
            termios.tcsetattr(0, termios.TCSANOW, saved)
    say("\n")
    return data.rstrip(b"\r\n")


def main():
    parsed = parse(sys.argv[1:])
    if parsed is None:
        say("su: unrecognized option\nTry 'su --help' for more information.\n")
        return 1
    login, command, user = parsed
    if command is None:
        say("su: this test host plays su only with -c COMMAND\n")
        return 1
    with open(ROOT_PASSWORD_FILE, "rb") as stored:
        expected = stored.read().strip()
    given = read_password()
    if user != "root" or given != expected:
        time.sleep(FAILURE_PAUSE_S)
        say("su: Authentication failure\n")
        return 1
    # su - starts root's login environment: only TERM survives; plain su keeps the caller's.
    environment = {"TERM": os.environ.get("TERM", "dumb")} if login else dict(os.environ)
    environment.update({"HOME": "/root", "SHELL": "/bin/bash", "USER": "root", "LOGNAME": "root",
                        "PATH": ROOT_BIN + ":/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"})
    os.execve("/bin/bash", ["bash", "-c", command], environment)
    return 1


if __name__ == "__main__":
    sys.exit(main())
