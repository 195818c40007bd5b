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
import shlex
import sys
import termios
import time
import unicodedata

ACCOUNT = pwd.getpwuid(os.getuid()).pw_name
NAME = ACCOUNT
# Numbered copies (vtdlg_debian2) play the dialog of their base name.
DIALOG = re.sub(r"[0-9]+$", "", ACCOUNT)
RECEIVED_LOG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "received", ACCOUNT + ".log")
ANSWER_LIMIT_S = 60
# The password every test account starts with (settings.sh): the scripted BSD dialogs check the old
# password against it.
TEST_PASSWORD = b"Vt-Start#2026"


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


def change_for_real(old, new):
    """Changes the account's password through the system passwd."""
    import pty

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


def debian_answers():
    say("Current password: ")
    old = answer("old").rstrip(b"\r\n")
    say("New password: ")
    new = answer("new").rstrip(b"\r\n")
    say("Retype new password: ")
    answer("retype")
    return old, new


def vanish_after_real_change():
    """Plays the prompts, changes the account's password for real through the system passwd, and then
    drops the connection without a word, as a host that dies right after the change does."""
    change_for_real(*debian_answers())
    # No success line and no exit status: the connection just ends.
    os.kill(os.getppid(), 9)
    return 1


def late_commit():
    """Takes the answers, says nothing for 7 s (longer than the client waits for a word), then changes
    the password for real and says so, as a host whose password store is slow to write."""
    old, new = debian_answers()
    time.sleep(7)
    change_for_real(old, new)
    say("passwd: password updated successfully\n")
    return 0


def early_success():
    """Says "successfully" before it has read the retype, then ends without changing anything."""
    say("Current password: ")
    answer("old")
    say("New password: ")
    answer("new")
    say("passwd: password updated successfully\nRetype new password: ")
    answer("retype")
    return 0


# Put between the characters of a disguised echo: CSI with and without parameters, OSC ended by BEL
# and by ST, and a single ESC + character. All in lower case, as the engine records them.
ECHO_ESCAPES = [b"\x1b[1m", b"\x1b]0;echo\x07", b"\x1b7", b"\x1b[38;5;196m", b"\x1b]2;t\x1b\\", b"\x1b[0m"]


def disguised(data):
    """data upper-cased, its accents decomposed (NFD) and an escape sequence after every two characters,
    so that it reads the same on a terminal but matches no byte for byte comparison."""
    try:
        text = unicodedata.normalize("NFD", data.decode("utf-8").upper())
    except UnicodeDecodeError:
        return data.upper()
    pieces = [text[at : at + 2].encode() + ECHO_ESCAPES[at // 2 % len(ECHO_ESCAPES)] for at in range(0, len(text), 2)]
    return b"".join(pieces)


def echo_everything():
    """Echoes every answer back (as typed, upper-cased, split over two writes, and disguised), then ends
    without a success line, so the answers land in whatever keeps the host's words."""
    for step, prompt in [("old", "Current password: "), ("new", "New password: "), ("retype", "Retype new password: ")]:
        say(prompt)
        data = answer(step).rstrip(b"\r\n")
        os.write(1, data + b"\r\n")
        os.write(1, data.upper() + b"\r\n")
        os.write(1, data[: len(data) // 2])
        time.sleep(0.3)
        os.write(1, data[len(data) // 2 :] + b"\r\n")
        os.write(1, disguised(data) + b"\r\n")
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


def requested():
    """What the client's command asked for: the variables it set in front ("LC_ALL=C LANG=C passwd x",
    "env LC_ALL=C passwd x") and the account named after passwd (None: the caller's own password).
    "sudo [options]" in front and "su [-] [root] -c 'COMMAND'" are looked through (their own prompts are
    not played here: the fleet server has the real ones)."""
    return parse_command(os.environ.get("SSH_ORIGINAL_COMMAND", ""))


def parse_command(command):
    try:
        words = shlex.split(command)
    except ValueError:
        words = command.split()
    variables = {}
    while words:
        assignment = re.match(r"^([A-Za-z_][A-Za-z0-9_]*)=(.*)$", words[0])
        if assignment:
            variables[assignment.group(1)] = assignment.group(2)
            words.pop(0)
        elif words[0] in ("env", "exec"):
            words.pop(0)
        elif words[0] == "sudo":
            words.pop(0)
            while words and words[0].startswith("-"):
                if words.pop(0) in ("-p", "-u", "-g", "-C", "-h"):
                    words = words[1:]
        elif words[0] == "su" and "-c" in words:
            inner_variables, target = parse_command(words[words.index("-c") + 1] if words[-1] != "-c" else "")
            # su - starts a login environment: what was set in front of su is gone.
            if any(word in ("-", "-l", "--login") for word in words):
                variables = {}
            variables.update(inner_variables)
            return variables, target
        else:
            break
    target = words[1] if len(words) >= 2 and os.path.basename(words[0]) == "passwd" else None
    return variables, target


def record_command():
    record("command", os.environ.get("SSH_ORIGINAL_COMMAND", "").encode())


def new_and_retype(new_prompt, retype_prompt, mismatch_line, tries=3):
    """Asks the new password and its retype until they agree; False after `tries` mismatches."""
    for _ in range(tries):
        say(new_prompt)
        new = answer("new")
        say(retype_prompt)
        if answer("retype") == new:
            return True
        say(mismatch_line)
    return False


def freebsd():
    """FreeBSD: "Old Password:", "New Password:", "Retype New Password:" and nothing on success. A wrong
    old password ends with a pam_chauthtok() error, a mismatched retype asks again."""
    record_command()
    _, target = requested()
    say("Changing local password for %s\n" % (target or NAME))
    if target is None:
        say("Old Password:")
        if answer("old").rstrip(b"\r\n") != TEST_PASSWORD:
            say("passwd: pam_chauthtok(): authentication error\n")
            return 1
    if not new_and_retype("New Password:", "Retype New Password:", "Mismatch; try again, EOF to quit.\n"):
        say("passwd: pam_chauthtok(): authentication token failure\n")
        return 1
    return 0


def openbsd():
    """OpenBSD: "Old password:", "New password:", "Retype new password:" and nothing on success. A wrong
    old password ends with "passwd: password unchanged", a mismatched retype asks again."""
    record_command()
    _, target = requested()
    say("Changing password for %s.\n" % (target or NAME))
    if target is None:
        say("Old password:")
        if answer("old").rstrip(b"\r\n") != TEST_PASSWORD:
            say("passwd: password unchanged\n")
            return 1
    if not new_and_retype("New password:", "Retype new password:", "Mismatch; try again, EOF to quit.\n"):
        say("passwd: password unchanged\n")
        return 1
    return 0


def macos():
    """macOS: the OpenBSD wording; nothing on success, and nothing either when the old password was wrong:
    only the exit status (1) tells."""
    record_command()
    _, target = requested()
    say("Changing password for %s.\n" % (target or NAME))
    old_ok = True
    if target is None:
        say("Old password:")
        old_ok = answer("old").rstrip(b"\r\n") == TEST_PASSWORD
    if not new_and_retype("New password:", "Retype new password:", "Mismatch; try again, EOF to quit.\n"):
        return 1
    return 0 if old_ok else 1


def pwquality():
    """Debian with pam_pwquality. The caller's own password (user mode): a new password shorter than 8
    characters gets "BAD PASSWORD: ..." and the new-password prompt again, three times, then the dialog
    fails (exit 10); a longer one succeeds. As root (passwd NAME) the same line is only a warning and
    the change goes on. A mismatched retype fails with "Sorry, passwords do not match."."""
    record_command()
    _, target = requested()
    bad = "BAD PASSWORD: The password is shorter than 8 characters\n"
    mismatch = "Sorry, passwords do not match.\npasswd: Authentication token manipulation error\npasswd: password unchanged\n"
    say("Changing password for %s.\n" % (target or NAME))
    if target is None:
        say("Current password: ")
        answer("old")
        for _ in range(3):
            say("New password: ")
            new = answer("new")
            if len(new.rstrip(b"\r\n")) >= 8:
                break
            say(bad)
        else:
            say("passwd: Have exhausted maximum number of retries for service\npasswd: password unchanged\n")
            return 10
    else:
        say("New password: ")
        new = answer("new")
        if len(new.rstrip(b"\r\n")) < 8:
            say(bad)
    say("Retype new password: ")
    if answer("retype") != new:
        say(mismatch)
        return 10
    say("passwd: password updated successfully\n")
    return 0


def german():
    """Debian speaking German, the host's own language, unless the messages locale the session ends up
    with (LC_ALL, else LC_MESSAGES, else LANG; sent as environment or set in front of the command) is
    exactly C or POSIX: then the English Debian dialog."""
    record_command()
    variables, target = requested()
    environment = dict(os.environ)
    environment.update(variables)
    locale = environment.get("LC_ALL") or environment.get("LC_MESSAGES") or environment.get("LANG") or ""
    record("locale", locale.encode())
    if locale in ("C", "POSIX"):
        texts = ("Changing password for %s.\n", "Current password: ", "New password: ", "Retype new password: ",
                 "passwd: password updated successfully\n")
    else:
        texts = ("\u00c4ndern des Passworts f\u00fcr %s.\n", "Aktuelles Passwort: ", "Neues Passwort: ",
                 "Geben Sie das neue Passwort erneut ein: ", "passwd: Passwort erfolgreich ge\u00e4ndert\n")
    say(texts[0] % (target or NAME))
    if target is None:
        say(texts[1])
        answer("old")
    say(texts[2])
    answer("new")
    say(texts[3])
    answer("retype")
    say(texts[4])
    return 0


def restricted_shell():
    """An account whose login shell is rbash with a PATH of its own: "env" is refused before anything
    runs ("rbash: env: not allowed", exit 1), and so is a command name with a slash; VAR=value in front
    is taken, as rbash takes it. A plain "passwd" (the caller's own) plays the Debian dialog; any other
    command is not found (exit 127)."""
    record_command()
    try:
        words = shlex.split(os.environ.get("SSH_ORIGINAL_COMMAND", ""))
    except ValueError:
        words = os.environ.get("SSH_ORIGINAL_COMMAND", "").split()
    while words and re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", words[0]):
        words.pop(0)
    # A shell writes its refusals to the error stream (the same terminal, when there is one).
    if words and "/" in words[0]:
        os.write(2, ("rbash: %s: restricted: cannot specify `/' in command names\n" % words[0]).encode())
        return 1
    if words and words[0] == "env":
        os.write(2, b"rbash: env: not allowed\n")
        return 1
    if not words:
        return 0
    if words != ["passwd"]:
        os.write(2, ("rbash: %s: command not found\n" % words[0]).encode())
        return 127
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
    "vtdlg_lazy": late_commit,
    "vtdlg_early": early_success,
    "vtdlg_echo": echo_everything,
    "vtdlg_noisy": noisy,
    "vtdlg_freebsd": freebsd,
    "vtdlg_openbsd": openbsd,
    "vtdlg_macos": macos,
    "vtdlg_pwquality": pwquality,
    "vtdlg_german": german,
    "vtdlg_rbash": restricted_shell,
}


def main():
    # The login probe runs "echo 2009" and counts the login once the answer comes back.
    if os.environ.get("SSH_ORIGINAL_COMMAND", "") == "echo 2009":
        say("2009\n")
        return 0
    dialog = DIALOGS.get(DIALOG)
    if dialog is None:
        say("dialog.py: no dialog for account %s\n" % ACCOUNT)
        return 1
    if os.isatty(0):
        quiet_terminal()
    return dialog()


if __name__ == "__main__":
    sys.exit(main())
