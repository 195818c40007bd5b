#!/usr/bin/python3
"""Forced command of the dialog server: plays the passwd dialog of another system, chosen by the
login name, on the session's pseudo-terminal.

Answers are read with echo off, byte for byte (no line-ending translation), and each one is
appended as hex to received/<account>.log, a file that start.sh creates readable by root only, so
tests can check that a password arrived exactly once and ended with a single CR.
"""

import os
import pwd
import re
import select
import sys
import termios
import time

ACCOUNT = pwd.getpwuid(os.getuid()).pw_name
NAME = ACCOUNT
# Numbered copies (vtdlg_debian2) play the dialog of their base name.
DIALOG = re.sub(r"[0-9]+$", "", ACCOUNT)
RECEIVED_LOG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "received", ACCOUNT + ".log")
ANSWER_LIMIT_S = 60


def say(text):
    # The terminal turns "\n" into CR LF, as it does for a real passwd.
    os.write(1, text.encode())


def say_split(text, cut, pause_s=0.4):
    say(text[:cut])
    time.sleep(pause_s)
    say(text[cut:])


def quiet_terminal():
    attrs = termios.tcgetattr(0)
    attrs[0] &= ~(termios.ICRNL | termios.INLCR | termios.IGNCR)
    attrs[3] &= ~(termios.ECHO | termios.ICANON)
    attrs[6][termios.VMIN] = 1
    attrs[6][termios.VTIME] = 0
    termios.tcsetattr(0, termios.TCSANOW, attrs)


def record(step, data):
    try:
        fd = os.open(RECEIVED_LOG, os.O_WRONLY | os.O_APPEND)
    except OSError:
        return
    try:
        os.write(fd, ("%s %s\n" % (step, data.hex())).encode())
    finally:
        os.close(fd)


def answer(step):
    """Reads one answer up to its CR or LF plus whatever follows at once (a stray LF shows)."""
    data = b""
    deadline = time.monotonic() + ANSWER_LIMIT_S
    while not (b"\r" in data or b"\n" in data):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([0], [], [], left)[0]:
            sys.exit(2)
        chunk = os.read(0, 1024)
        if not chunk:
            sys.exit(2)
        data += chunk
    while select.select([0], [], [], 0.15)[0]:
        chunk = os.read(0, 1024)
        if not chunk:
            break
        data += chunk
    record(step, data)
    say("\n")
    return data


def debian(pause_s=0.0, first_pause_s=0.0, split=False):
    prompts = [("old", "Current password: "), ("new", "New password: "), ("retype", "Retype new password: ")]
    for index, (step, prompt) in enumerate(prompts):
        time.sleep(first_pause_s if index == 0 else pause_s)
        if split:
            say_split(prompt, len(prompt) - 6)
        else:
            say(prompt)
        answer(step)
    time.sleep(pause_s)
    say("passwd: password updated successfully\n")
    return 0


def aix():
    say('Changing password for "%s"\n%s\'s Old password: ' % (NAME, NAME))
    answer("old")
    say("%s's New password: " % NAME)
    answer("new")
    say("Enter the new password again:")
    answer("retype")
    # A real AIX host prints nothing here; this line gives profiles something to wait for.
    say("%s's password changed successfully.\n" % NAME)
    return 0


def solaris():
    say("Enter existing login password: ")
    answer("old")
    say("New Password: ")
    answer("new")
    say("Re-enter new Password: ")
    answer("retype")
    say("passwd: password successfully changed for %s\n" % NAME)
    return 0


def reject():
    say("Current password: ")
    answer("old")
    say("New password: ")
    answer("new")
    say("BAD PASSWORD: too short\n")
    return 1


def silent():
    say("Current password: ")
    answer("old")
    return 1


def long_banner():
    line = "This host enforces the password policy of the site; read it before you choose one.\n"
    say(line * 20)
    return debian()


def weak():
    say("Current password: ")
    answer("old")
    say("New password: ")
    answer("new")
    say("Retype new password: ")
    answer("retype")
    say("BAD PASSWORD: it is too simplistic/systematic\nNew password: ")
    answer("new-again")
    return 1


def vanish_after_real_change():
    """Plays the prompts, changes the account's password for real through the system passwd, and then
    drops the connection without a word, as a host that dies right after the change does."""
    import pty

    say("Current password: ")
    old = answer("old").rstrip(b"\r\n")
    say("New password: ")
    new = answer("new").rstrip(b"\r\n")
    say("Retype new password: ")
    answer("retype")
    pid, fd = pty.fork()
    if pid == 0:
        os.execv("/usr/bin/passwd", ["passwd"])
    transcript = b""
    for reply in (old, new, new):
        deadline = time.monotonic() + 10
        while not transcript.lower().endswith(b": ") and time.monotonic() < deadline:
            if select.select([fd], [], [], 0.2)[0]:
                try:
                    transcript += os.read(fd, 1024)
                except OSError:
                    break
        os.write(fd, reply + b"\n")
        transcript = b""
    os.waitpid(pid, 0)
    # No success line and no exit status: the connection just ends.
    os.kill(os.getppid(), 9)
    return 1


def echo_everything():
    """Echoes every answer back (as typed, upper-cased, and split over two writes), then ends without
    a success line, so the answers land in whatever keeps the host's words."""
    for step, prompt in [("old", "Current password: "), ("new", "New password: "), ("retype", "Retype new password: ")]:
        say(prompt)
        data = answer(step).rstrip(b"\r\n")
        os.write(1, data + b"\r\n")
        os.write(1, data.upper() + b"\r\n")
        os.write(1, data[: len(data) // 2])
        time.sleep(0.3)
        os.write(1, data[len(data) // 2 :] + b"\r\n")
    os.write(1, b"passwd: rejected " + data + b"\r\n")
    return 1


def noisy():
    """NUL, terminal escapes (title, alternate screen, cursor report request) and 10 MB of output before
    the Debian dialog."""
    os.write(1, b"\0start\x1b]0;owned title\x07\x1b[?1049h\x1b[6n\r\n")
    line = b"x" * 1023 + b"\n"
    for _ in range(10 * 1024):
        os.write(1, line)
    return debian()


DIALOGS = {
    "vtdlg_debian": debian,
    "vtdlg_aix": aix,
    "vtdlg_solaris": solaris,
    "vtdlg_split": lambda: debian(split=True),
    "vtdlg_late": lambda: debian(first_pause_s=6.0),
    "vtdlg_reject": reject,
    "vtdlg_silent": silent,
    "vtdlg_long": long_banner,
    "vtdlg_weak": weak,
    "vtdlg_slow": lambda: debian(pause_s=1.0, first_pause_s=1.0),
    # A host far away: every prompt arrives 300 ms after the answer before it.
    "vtdlg_distant": lambda: debian(pause_s=0.3, first_pause_s=0.3),
    "vtdlg_vanish": vanish_after_real_change,
    "vtdlg_echo": echo_everything,
    "vtdlg_noisy": noisy,
}


def main():
    dialog = DIALOGS.get(DIALOG)
    if dialog is None:
        say("dialog.py: no dialog for account %s\n" % ACCOUNT)
        return 1
    if os.isatty(0):
        quiet_terminal()
    return dialog()


if __name__ == "__main__":
    sys.exit(main())
