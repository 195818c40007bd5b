#pragma once

// The loopback SSH servers that tests/servers/sshd/start.sh runs (as root) for the tests, and
// small helpers around them. The values repeat tests/servers/sshd/settings.sh.
//
// Servers, all on port 2222:
//   127.0.0.2  OpenSSH with PAM: the real passwd for the vtst_* accounts. vtst_mgr is the manager
//              account: its forced command splits the requested command like a careless host
//              (eval "set -- ...") and then allows only "passwd vtst_NAME" (run through sudo);
//              "echo 2009" is answered as a probe; anything else prints an error and exits 1.
//   127.0.0.3  OpenSSH whose forced command plays another system's passwd dialog, chosen by the
//              login name (see the Dialog* accounts); a trailing number selects a copy.
//   127.0.0.4  closed: nothing listens.
//   127.0.0.5  silent: accepts TCP and never sends a byte.
//   127.0.0.6  a small SSH server that writes to the extended (error) stream, which OpenSSH never
//              does for a command with a terminal (Streams* accounts).
//   127.0.0.7  unanswered: a TCP connect gets no answer at all, so it runs into its time limit.
//   127.0.0.8  the fleet: OpenSSH with PAM and the real passwd, reached the ways real hosts are managed
//              (see the Fleet* names): sudo with and without a password, su (a stand-in that plays su
//              with FleetRootPassword; the real root account is never involved), key-only logins, and
//              accounts whose password has expired. root may not log in with a password
//              (PermitRootLogin prohibit-password) and has no key.
//   127.0.0.9  accepts LANG and LC_* from the client (AcceptEnv) and plays a passwd that speaks German
//              unless the session's messages locale is C (DialogGerman accounts).
//   127.0.0.10 Dropbear 2022.83 (Debian dropbear-bin), a host key of its own (Ed25519): password login and
//              the real passwd for the Dropbear* accounts, the only ones it admits.
//   127.0.0.11 OpenSSH where the accounts' passwd is BusyBox's (busybox-static), as on Alpine (BusyBox*).
//   127.0.0.12 OpenSSH with PermitTTY no; the real passwd (NoTty*).
//   127.0.0.13 OpenSSH with ForceCommand /usr/bin/passwd: whatever is asked for, passwd runs (Forced*).
//   127.0.0.14 OpenSSH that offers SHA-1 algorithms only (Sha1*); the real passwd.
//   127.0.0.15 OpenSSH with MaxAuthTries 1; the real passwd (OneTry*).
//   127.0.0.16 OpenSSH whose passwd is held to pam_pwquality with enforce_for_root, root included
//              (PwQuality*); the machine's own PAM files are untouched.
//   127.0.0.17 flood: accepts TCP and sends text lines without end (20 a second) but never an SSH
//              version line.
//   /tmp/veltrane-sshd/agent.sock  an ssh-agent (AgentSocket) holding one key that the Agent* accounts and
//              OneTryAgentAccount accept; tests set SSH_AUTH_SOCK to it themselves.
//   127.0.0.30..37  more addresses of the dialog server (127.0.0.3), for benchmarks of many hosts;
//              vtdlg_distant1..4 answer each prompt 300 ms late, as a distant host does.
//
// Every account has the password Password after each start. Each test area has its own accounts
// so that areas can run in parallel:
//   engine vtst_eng1..6, batch vtst_bat1..6, command-line tool vtst_cli1..4, GUI vtst_gui1..3,
//   benchmarks vtst_bench1..2, transport vtst_tr1..3, reconcile and verify vtst_rec1..4, crash test
//   vtst_crash1..4, disk-full and overlap tests vtst_fault1..3, parallel batches vtst_par1..4; dialog copies: batch
//   vtdlg_debian1 and vtdlg_slow1, command-line tool vtdlg_debian2, GUI vtdlg_debian3 and vtdlg_slow2, transport
//   vtdlg_debian4, benchmarks vtdlg_debian5, reconcile vtdlg_vanish1 (changes its password for real, then drops the
//   connection), vtdlg_lazy1 (silent for 7 s after the retype, then changes it for real) and vtdlg_early1 (says
//   "successfully" before it reads the retype, changes nothing), secrets vtdlg_echo1 (echoes every answer, in several
//   forms, one upper-cased, decomposed and split by escapes) and vtdlg_noisy1 (NUL, escapes, 10 MB); the engine uses
//   the unnumbered dialog accounts. The servers from 127.0.0.10 on and the agent have numbered accounts to share out
//   the same way.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TestServers {

inline const QString Password = QStringLiteral("Vt-Start#2026");
inline constexpr int Port = 2222;

inline const QString OpenSshAddress = QStringLiteral("127.0.0.2");
inline const QString DialogAddress = QStringLiteral("127.0.0.3");
inline const QString ClosedAddress = QStringLiteral("127.0.0.4");
inline const QString SilentAddress = QStringLiteral("127.0.0.5");
inline const QString StreamsAddress = QStringLiteral("127.0.0.6");
inline const QString UnansweredAddress = QStringLiteral("127.0.0.7");
inline const QString FleetAddress = QStringLiteral("127.0.0.8");
inline const QString LocaleAddress = QStringLiteral("127.0.0.9");
inline const QString DropbearAddress = QStringLiteral("127.0.0.10");
inline const QString BusyBoxAddress = QStringLiteral("127.0.0.11");
inline const QString NoTtyAddress = QStringLiteral("127.0.0.12");
inline const QString ForcedAddress = QStringLiteral("127.0.0.13");
inline const QString Sha1Address = QStringLiteral("127.0.0.14");
inline const QString OneTryAddress = QStringLiteral("127.0.0.15");
inline const QString PwQualityAddress = QStringLiteral("127.0.0.16");
inline const QString FloodAddress = QStringLiteral("127.0.0.17");

inline const QString ManagerAccount = QStringLiteral("vtst_mgr");

/// Accounts of one test area on the OpenSSH server: prefix "vtst_eng" and count 6 give vtst_eng1..6.
inline QStringList Accounts(const QString& prefix, int count)
{
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << prefix + QString::number(i);
    return names;
}

// Dialogs on DialogAddress. Each answer is read with echo off and recorded (see DialogAnswers).
/// Debian: "Current password: ", "New password: ", "Retype new password: ", then
/// "passwd: password updated successfully"; accepts any answers. Each prompt follows the CR LF
/// that ends the previous answer.
inline const QString DialogDebian = QStringLiteral("vtdlg_debian");
/// AIX: "Changing password for \"NAME\"\r\nNAME's Old password: ", "NAME's New password: ",
/// "Enter the new password again:", then "NAME's password changed successfully." (a real AIX host
/// prints nothing; this line gives a profile something to wait for).
inline const QString DialogAix = QStringLiteral("vtdlg_aix");
/// Solaris/illumos: "Enter existing login password: ", "New Password: ", "Re-enter new Password: ",
/// then "passwd: password successfully changed for NAME".
inline const QString DialogSolaris = QStringLiteral("vtdlg_solaris");
/// Debian wording, each prompt written in two parts 0.4 s apart ("Current pass" + "word: ").
inline const QString DialogSplit = QStringLiteral("vtdlg_split");
/// Debian wording; the first prompt comes after 6 s.
inline const QString DialogLate = QStringLiteral("vtdlg_late");
/// Asks the old and the new password, then prints "BAD PASSWORD: too short\r\n" and exits 1.
inline const QString DialogReject = QStringLiteral("vtdlg_reject");
/// Asks "Current password: ", then exits 1 without any further output.
inline const QString DialogSilent = QStringLiteral("vtdlg_silent");
/// 20 lines of 84 bytes (1700 bytes with CR LF) before the Debian dialog.
inline const QString DialogLong = QStringLiteral("vtdlg_long");
/// Debian wording up to the retype, then "BAD PASSWORD: it is too simplistic/systematic\r\nNew
/// password: " (a third new-password prompt), and exits 1 after that answer.
inline const QString DialogWeak = QStringLiteral("vtdlg_weak");
/// Debian dialog with every prompt and the success line 1 s late (about 4 s in all).
inline const QString DialogSlow = QStringLiteral("vtdlg_slow");

/// FreeBSD (user mode, command "passwd"): "Changing local password for NAME\r\n", "Old Password:",
/// "New Password:", "Retype New Password:", then nothing and exit 0. The old password must be
/// Password, else "passwd: pam_chauthtok(): authentication error" and exit 1; a retype that differs
/// gets "Mismatch; try again, EOF to quit." and the new-password prompt again (three rounds, then
/// exit 1). Root mode (the command names an account: "passwd alice", also behind "LC_ALL=C ...",
/// "env ...", "sudo [options]" or inside "su - root -c '...'", whose own prompts are not played here):
/// no old-password prompt. Every dialog from here on also records the command it got as the step
/// "command".
inline const QString DialogFreeBsd = QStringLiteral("vtdlg_freebsd");
/// OpenBSD: "Changing password for NAME.\r\n", "Old password:", "New password:", "Retype new
/// password:", then nothing and exit 0. A wrong old password: "passwd: password unchanged" and exit 1;
/// mismatch and root mode as FreeBSD.
inline const QString DialogOpenBsd = QStringLiteral("vtdlg_openbsd");
/// macOS: the OpenBSD wording and nothing on success. A wrong old password is told by nothing but the
/// exit status: the dialog asks on and exits 1 without a word.
inline const QString DialogMacOs = QStringLiteral("vtdlg_macos");
/// Debian with pam_pwquality. User mode: "Current password: ", "New password: "; a new password
/// shorter than 8 characters gets "BAD PASSWORD: The password is shorter than 8 characters\r\n" and
/// "New password: " again, three times, then "passwd: Have exhausted maximum number of retries for
/// service" and "passwd: password unchanged", exit 10. A longer one goes on to "Retype new password: "
/// and "passwd: password updated successfully". Root mode: no old password; a short one gets the BAD
/// PASSWORD line as a warning and the change goes on. A retype that differs: "Sorry, passwords do not
/// match." and "passwd: Authentication token manipulation error", exit 10.
inline const QString DialogPwQuality = QStringLiteral("vtdlg_pwquality");
/// Debian dialog in German ("Aktuelles Passwort: ", "Neues Passwort: ", "Geben Sie das neue Passwort
/// erneut ein: ", "passwd: Passwort erfolgreich ge\u00e4ndert") unless the messages locale (LC_ALL, else
/// LC_MESSAGES, else LANG, from the environment or set in front of the command) is exactly "C" or
/// "POSIX": then the English Debian dialog. Records the locale it saw as the step "locale". On
/// DialogAddress the environment request is refused (only a prefix in the command works); on
/// LocaleAddress it is accepted. Copies: vtdlg_german1, vtdlg_german2.
inline const QString DialogGerman = QStringLiteral("vtdlg_german");
/// A restricted shell (rbash with a PATH of its own): a command that starts with "env " gets "rbash: env:
/// not allowed" on the error stream (the terminal, when there is one) and exit 1 before any prompt; a
/// command name with a slash gets "rbash: /usr/bin/passwd: restricted: cannot specify `/' in command names"
/// and exit 1. VAR=value in front is taken. A plain "passwd" plays the Debian dialog (DialogDebian); any
/// other command: "rbash: NAME: command not found", exit 127. Records the command as the step "command".
/// Copies: vtdlg_rbash1, vtdlg_rbash2.
inline const QString DialogRestrictedShell = QStringLiteral("vtdlg_rbash");

// Accounts on FleetAddress. Every one has Password; the targets are real accounts whose real password
// the managers change (sudoers allows "passwd vtfl_tN" only). Suggested split so that tests running in
// parallel never share a target: sudo vtfl_t1..t3, NOPASSWD vtfl_t4..t5, su vtfl_t6..t7, key managers
// vtfl_t8..t10, spare vtfl_t11..t12.
/// Password login; "sudo passwd vtfl_tN" asks "[sudo] password for vtfl_sudo: " every time (wrong:
/// "Sorry, try again.", three times, then "sudo: 3 incorrect password attempts").
inline const QString FleetSudoManager = QStringLiteral("vtfl_sudo");
/// Password login; "sudo passwd vtfl_tN" runs without a password.
inline const QString FleetNoPasswdManager = QStringLiteral("vtfl_nopw");
/// Password login; in no sudoers rule: sudo asks for its password and then says "vtfl_nosudo is not in
/// the sudoers file".
inline const QString FleetNoSudoManager = QStringLiteral("vtfl_nosudo");
/// Password login to a shell whose "su" is a stand-in: "su [-] [root] -c COMMAND" prints "Password: ",
/// reads with echo off and, for FleetRootPassword, runs COMMAND with bash in root's stead (still the
/// vtfl_su account; "su -" keeps only TERM of the environment, so LC_ALL set in front of su is gone),
/// where "passwd vtfl_tN" is the real passwd run as root through sudo: "New password: ", "Retype new
/// password: ", "passwd: password updated successfully". Any other password: a pause of 1 s, "su:
/// Authentication failure", exit 1.
inline const QString FleetSuManager = QStringLiteral("vtfl_su");
/// Key login only (no password or keyboard-interactive); sudo without a password.
inline const QString FleetKeyManager = QStringLiteral("vtfl_keymgr");
/// Key login only; sudo asks for its password (Password).
inline const QString FleetKeySudoManager = QStringLiteral("vtfl_keysudo");
/// Accounts whose password has expired (chage -d 0). With keyboard-interactive the change happens
/// inside the authentication: after "Password: " come the rounds "You are required to change your
/// password immediately (administrator enforced)" / "Changing password for NAME." with the prompt
/// "Current password: ", then "New password: " and "Retype new password: " (answering them all with
/// the old password fails, and nothing changes). With the password method the login succeeds and,
/// instead of the command, the session prints "WARNING: Your password has expired." and "You must
/// change your password now and login again!" and runs passwd. Run "chage -d 0 NAME" again after a
/// test that changed the password.
inline const QStringList FleetExpired = {QStringLiteral("vtfl_expired1"), QStringLiteral("vtfl_expired2")};
/// The root password the su stand-in accepts.
inline const QString FleetRootPassword = QStringLiteral("Vt-Root#2026");
/// Private keys of the key managers (readable by root only). Ed25519 in OpenSSH format without a
/// passphrase; RSA 2048 in PEM format ("BEGIN RSA PRIVATE KEY") and ECDSA P-256 in OpenSSH format, both
/// with KeyPassphrase. Each has its public key beside it (".pub").
inline const QString KeyEd25519 = QStringLiteral("/tmp/veltrane-sshd/keys/manager_ed25519");
inline const QString KeyRsaPem = QStringLiteral("/tmp/veltrane-sshd/keys/manager_rsa_pem");
inline const QString KeyEcdsa = QStringLiteral("/tmp/veltrane-sshd/keys/manager_ecdsa");
inline const QString KeyPassphrase = QStringLiteral("Vt-Key#2026");
/// Targets on FleetAddress, vtfl_t1 .. vtfl_t12.
inline QString FleetTarget(int number)
{
    return QStringLiteral("vtfl_t") + QString::number(number);
}
/// Targets on FleetAddress with the shell /usr/sbin/nologin, vtfl_nologin1..2: their password is right but
/// they get no shell. FleetSudoManager, FleetKeySudoManager, FleetNoPasswdManager, FleetKeyManager and
/// FleetSuManager may change them with passwd; FleetNoPasswdManager and FleetSuManager (inside its su) may
/// also read the fleet's shadow entries with "getent shadow vtfl_NAME" (one name, no password); the
/// other managers get sudo's refusal for that.
inline QString FleetNologinTarget(int number)
{
    return QStringLiteral("vtfl_nologin") + QString::number(number);
}

// Accounts on StreamsAddress (not system accounts; same password).
/// Prints "Current password: " on the error stream only, reads one line, prints
/// "\r\npasswd: Authentication token manipulation error\r\n" on the error stream and exits 1.
inline const QString StreamsStderr = QStringLiteral("vtdlg_stderr");
/// Writes "out-1\r\n", "err-1\r\n" on the error stream, "out-2\r\n"; then reads one line and
/// answers "got <hex of the bytes received>\r\n" and exits 0.
inline const QString StreamsMixed = QStringLiteral("vtdlg_streams");
/// Prints a refusal on the error stream only and exits 1 at once.
inline const QString StreamsErrorExit = QStringLiteral("vtdlg_errexit");
/// Prints "passwd: Authentication token manipulation error\r\n", then drops the TCP connection
/// without closing the channel.
inline const QString StreamsDrop = QStringLiteral("vtdlg_drop");

// Servers that real fleets run (127.0.0.10 on). Every account has Password after each start; all but the
// BusyBox ones run the real Debian passwd (shadow with PAM): user mode "Changing password for NAME.",
// "Current password: ", "New password: ", "Retype new password: ", "passwd: password updated successfully";
// a wrong current password: "passwd: Authentication token manipulation error", "passwd: password
// unchanged", exit 10; a retype that differs: "Sorry, passwords do not match." and the same two lines.
/// Dropbear accounts vtdb_u1..4 (Dropbear(1)); others are refused ("Logins are restricted to the group ...").
/// Dropbear offers the password method only, not keyboard-interactive.
inline QString Dropbear(int number)
{
    return QStringLiteral("vtdb_u") + QString::number(number);
}
/// BusyBox 1.35 passwd for the caller's own password, run as a setuid BusyBox runs it (a forced command
/// puts a passwd first on PATH that reaches it through sudo; the real passwd is never involved):
/// "Changing password for NAME\r\n", "Old password: ", "New password: ", "Retype password: ", then
/// "passwd: password for NAME changed by NAME", exit 0. A wrong old password: after about 3 s "Incorrect
/// password" and "passwd: password for NAME is unchanged", exit 1; a short new one: "Bad password: too
/// short" and the same unchanged line (no retype prompt); a retype that differs: "Passwords don't match"
/// and the unchanged line. Another account named: "passwd: NAME can't change password for OTHER". Without a
/// terminal the same words, read from standard input. BusyBox writes each prompt before it turns the echo
/// off and flushes pending input: an answer sent the instant a prompt shows may be echoed back. "echo 2009"
/// and other commands run in bash. Accounts vtbb_u1..4; their hashes are SHA-512 (BusyBox knows no
/// yescrypt): reset them with ResetPassword(name, password, QStringLiteral("SHA512")).
inline QString BusyBox(int number)
{
    return QStringLiteral("vtbb_u") + QString::number(number);
}
/// The BusyBox server's manager: "passwd vtbb_uN" (also behind "env", VAR=value and "sudo [options]") runs
/// BusyBox's passwd as root: "Changing password for NAME\r\n", "New password: ", "Retype password: ",
/// "passwd: password for NAME changed by root"; a short one only warns ("Bad password: too short") and the
/// change goes on. "echo 2009" answers 2009; anything else: "bb-mgr: only \"passwd vtbb_uN\" is allowed",
/// exit 1.
inline const QString BusyBoxManager = QStringLiteral("vtbb_mgr");
/// PermitTTY no: a pty request is refused (OpenSSH's client then closes the session if it insisted on one).
/// Without a terminal the real passwd reads its answers from standard input: "Changing password for
/// NAME.\n" comes on standard output and only at the end (buffered); "Current password: ", "New password: ",
/// "Retype new password: " (no line ends, nothing echoed) and "passwd: password updated successfully\n"
/// or the failure lines come on the error stream. Input that ends early: "Password change has been
/// aborted.", then the failure lines, exit 10. Accounts vtnt_u1..4.
inline QString NoTty(int number)
{
    return QStringLiteral("vtnt_u") + QString::number(number);
}
/// ForceCommand /usr/bin/passwd: every command, "echo 2009" included, runs the real passwd in user mode
/// (with a terminal, or reading standard input without one); the password is accepted all the same.
/// Accounts vtfc_u1..3.
inline QString Forced(int number)
{
    return QStringLiteral("vtfc_u") + QString::number(number);
}
/// Offers only HostKeyAlgorithms ssh-rsa (an RSA 2048 host key), PubkeyAcceptedAlgorithms ssh-rsa,
/// KexAlgorithms diffie-hellman-group14-sha1 and diffie-hellman-group1-sha1, MACs hmac-sha1 and the
/// ciphers aes128-ctr, aes192-ctr, aes256-ctr (so that the MAC is really used). A default client gets "no
/// matching key exchange method found. Their offer: diffie-hellman-group14-sha1,diffie-hellman-group1-sha1,
/// kex-strict-s-v00@openssh.com"; one that also allows ssh-rsa host keys and group14-sha1 gets in.
/// Accounts vtsha_u1..3.
inline QString Sha1(int number)
{
    return QStringLiteral("vtsha_u") + QString::number(number);
}
/// MaxAuthTries 1: the first failed attempt of any method (a wrong password, or a key the account does not
/// accept, such as the agent's) ends the login with "Too many authentication failures"; "none" does not
/// count. Accounts vtmax_u1..3; OneTryAgentAccount also accepts the agent's key.
inline QString OneTry(int number)
{
    return QStringLiteral("vtmax_u") + QString::number(number);
}
inline const QString OneTryAgentAccount = QStringLiteral("vtmax_agent1");
/// pam_pwquality (retry=3 enforce_for_root minlen=PwQualityMinLength dictcheck=0) for the real passwd, on
/// this server only (a copy of common-password in its own mount namespace). Root mode through the manager
/// ("sudo passwd vtpq_tN", no sudo password): "New password: "; a short one gets "BAD PASSWORD: The password
/// is shorter than 12 characters" and "New password: " again instead of the retype prompt; a good one
/// "Retype new password: ", "passwd: password updated successfully". A retype that differs: "Sorry,
/// passwords do not match." and "New password: " again. After three refusals: "passwd: Have exhausted
/// maximum number of retries for service", "passwd: password unchanged", exit 10. User mode (PwQualityUser)
/// the same after "Changing password for NAME." and "Current password: "; the old password again gets "BAD
/// PASSWORD: The password is the same as the old one".
inline const QString PwQualityManager = QStringLiteral("vtpq_mgr");
/// Targets of PwQualityManager, vtpq_t1..4 (sudo allows "passwd vtpq_tN" only, as /usr/bin/passwd).
inline QString PwQualityTarget(int number)
{
    return QStringLiteral("vtpq_t") + QString::number(number);
}
/// User-mode accounts on PwQualityAddress, vtpq_u1..2.
inline QString PwQualityUser(int number)
{
    return QStringLiteral("vtpq_u") + QString::number(number);
}
inline constexpr int PwQualityMinLength = 12;

inline const QString WorkDir = QStringLiteral("/tmp/veltrane-sshd");
/// The ssh-agent's socket (owned by root, the tests' user). The agent holds one Ed25519 key and no key file
/// of it is kept; AgentAccount(1..3) on OpenSshAddress and OneTryAgentAccount accept it, no other account
/// does. Set SSH_AUTH_SOCK to this path to offer it.
inline const QString AgentSocket = WorkDir + QStringLiteral("/agent.sock");
/// The agent key's public half (OpenSSH format).
inline const QString AgentPublicKey = WorkDir + QStringLiteral("/keys/agent_ed25519.pub");
/// Accounts on OpenSshAddress that accept the agent's key as well as Password: vtst_agent1..3.
inline QString AgentAccount(int number)
{
    return QStringLiteral("vtst_agent") + QString::number(number);
}
/// The log of the OpenSSH server on OpenSshAddress (root only); it names every account that tried to log in.
inline const QString OpenSshLog = WorkDir + QStringLiteral("/sshd_a.log");
/// Public host keys (OpenSSH format) of the OpenSSH servers on OpenSshAddress and DialogAddress.
inline const QString OpenSshHostKey = WorkDir + QStringLiteral("/hostkey_a.pub");
inline const QString DialogHostKey = WorkDir + QStringLiteral("/hostkey_b.pub");
inline const QString FleetHostKey = WorkDir + QStringLiteral("/hostkey_fleet.pub");
inline const QString LocaleHostKey = WorkDir + QStringLiteral("/hostkey_locale.pub");
inline const QString DropbearHostKey = WorkDir + QStringLiteral("/hostkey_dropbear.pub");
inline const QString BusyBoxHostKey = WorkDir + QStringLiteral("/hostkey_busybox.pub");
inline const QString NoTtyHostKey = WorkDir + QStringLiteral("/hostkey_notty.pub");
inline const QString ForcedHostKey = WorkDir + QStringLiteral("/hostkey_forced.pub");
/// RSA (ssh-rsa), the only host key type the SHA-1 server offers.
inline const QString Sha1HostKey = WorkDir + QStringLiteral("/hostkey_sha1.pub");
inline const QString OneTryHostKey = WorkDir + QStringLiteral("/hostkey_onetry.pub");
inline const QString PwQualityHostKey = WorkDir + QStringLiteral("/hostkey_pwquality.pub");

/// One answer a dialog received: its step ("old", "new", "retype", "new-again") and the exact
/// bytes, line ending included.
struct DialogAnswer
{
    QString step;
    QByteArray bytes;
};

namespace Detail {

enum class ConnectOutcome
{
    Connected,
    Refused,
    NoAnswer
};

/// Connects to address:Port within timeoutMs; the socket (to close) when connected, else -1.
inline int ConnectWithin(const char* address, int timeoutMs, ConnectOutcome* outcome = nullptr)
{
    if (outcome)
        *outcome = ConnectOutcome::Refused;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(Port));
    ::inet_pton(AF_INET, address, &target.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
        if (outcome)
            *outcome = ConnectOutcome::Connected;
        return fd;
    }
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
        if (outcome)
            *outcome = ConnectOutcome::Connected;
        return fd;
    }
    if (ready == 0 && outcome)
        *outcome = ConnectOutcome::NoAnswer;
    ::close(fd);
    return -1;
}

/// The first bytes the server at address sends within timeoutMs, or "" (connection failed: null).
inline QByteArray Greeting(const QString& address, int timeoutMs)
{
    const int fd = ConnectWithin(address.toLatin1().constData(), timeoutMs);
    if (fd < 0)
        return QByteArray();
    QByteArray received("");
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) == 1) {
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
    }
    ::close(fd);
    return received;
}

} // namespace Detail
} // namespace TestServers

/// Empty when every SSH test server runs with its accounts; otherwise what is wrong and what to do.
/// Tests call it first and fail (not skip) when it is not empty.
inline QString ServerProblem()
{
    using namespace TestServers;
    const QString fix = QStringLiteral("; start the test servers as root with tests/servers/start-all.sh");
    for (const QString& address : {OpenSshAddress, DialogAddress, StreamsAddress}) {
        const QByteArray greeting = Detail::Greeting(address, 3000);
        if (greeting.isNull())
            return QStringLiteral("No SSH test server listens on %1:%2").arg(address).arg(Port) + fix;
        if (!greeting.startsWith("SSH-2.0-"))
            return QStringLiteral("The SSH test server on %1:%2 does not greet").arg(address).arg(Port) + fix;
    }
    if (Detail::Greeting(SilentAddress, 1000) != QByteArray(""))
        return QStringLiteral("The silent listener on %1:%2 is not running").arg(SilentAddress).arg(Port) + fix;
    const QByteArray flood = Detail::Greeting(FloodAddress, 1000);
    if (flood.isEmpty() || flood.startsWith("SSH-"))
        return QStringLiteral("The flood listener on %1:%2 is not running").arg(FloodAddress).arg(Port) + fix;
    if (!Detail::Greeting(ClosedAddress, 1000).isNull())
        return QStringLiteral("Something listens on %1:%2, which must stay closed; stop it")
            .arg(ClosedAddress)
            .arg(Port);
    Detail::ConnectOutcome unanswered = Detail::ConnectOutcome::Refused;
    const int fd = Detail::ConnectWithin(UnansweredAddress.toLatin1().constData(), 300, &unanswered);
    if (fd >= 0)
        ::close(fd);
    if (unanswered != Detail::ConnectOutcome::NoAnswer)
        return QStringLiteral("The unanswered listener on %1:%2 is not running").arg(UnansweredAddress).arg(Port) + fix;
    for (const char* account : {"vtst_eng1", "vtst_tr3", "vtst_mgr", "vtdlg_debian", "vtdlg_slow2"}) {
        if (::getpwnam(account) == nullptr)
            return QStringLiteral("The test account %1 does not exist").arg(QLatin1String(account)) + fix;
    }
    return QString();
}

/// Empty when the fleet and German servers run with their accounts and keys; otherwise what is wrong and
/// what to do. Kept apart from ServerProblem so that tests of the older servers do not depend on them.
inline QString FleetServerProblem()
{
    using namespace TestServers;
    const QString fix = QStringLiteral("; start the test servers as root with tests/servers/start-all.sh");
    for (const QString& address : {FleetAddress, LocaleAddress}) {
        if (!Detail::Greeting(address, 3000).startsWith("SSH-2.0-"))
            return QStringLiteral("No SSH test server greets on %1:%2").arg(address).arg(Port) + fix;
    }
    for (const QString& account : {FleetSudoManager, FleetSuManager, FleetKeyManager, FleetTarget(1), DialogGerman}) {
        if (::getpwnam(account.toLatin1().constData()) == nullptr)
            return QStringLiteral("The test account %1 does not exist").arg(account) + fix;
    }
    if (!QFile::exists(KeyRsaPem))
        return QStringLiteral("The test key %1 is missing").arg(KeyRsaPem) + fix;
    return QString();
}

/// Empty when the servers from DropbearAddress on and the ssh-agent run with their accounts; otherwise what
/// is wrong and what to do. Kept apart from ServerProblem so that tests of the older servers do not depend
/// on them.
inline QString RealFleetServerProblem()
{
    using namespace TestServers;
    const QString fix = QStringLiteral("; start the test servers as root with tests/servers/start-all.sh");
    for (const QString& address :
         {DropbearAddress, BusyBoxAddress, NoTtyAddress, ForcedAddress, Sha1Address, OneTryAddress, PwQualityAddress}) {
        if (!Detail::Greeting(address, 3000).startsWith("SSH-2.0-"))
            return QStringLiteral("No SSH test server greets on %1:%2").arg(address).arg(Port) + fix;
    }
    for (const QString& account :
         {Dropbear(1), BusyBox(1), BusyBoxManager, NoTty(1), Forced(1), Sha1(1), OneTry(1), OneTryAgentAccount,
          PwQualityManager, PwQualityTarget(1), PwQualityUser(1), AgentAccount(1), DialogRestrictedShell}) {
        if (::getpwnam(account.toLatin1().constData()) == nullptr)
            return QStringLiteral("The test account %1 does not exist").arg(account) + fix;
    }
    if (!QFile::exists(AgentSocket))
        return QStringLiteral("The test ssh-agent's socket %1 is missing").arg(AgentSocket) + fix;
    return QString();
}

/// Sets the password of a test account with chpasswd (tests run as root); true on success. cryptMethod
/// ("SHA512" for the BusyBox accounts) overrides the machine's default hash (yescrypt on Debian).
inline bool ResetPassword(const QString& account, const QString& password, const QString& cryptMethod = QString())
{
    QProcess chpasswd;
    QStringList arguments;
    if (!cryptMethod.isEmpty())
        arguments << QStringLiteral("-c") << cryptMethod;
    chpasswd.start(QStringLiteral("/usr/sbin/chpasswd"), arguments);
    if (!chpasswd.waitForStarted(5000))
        return false;
    chpasswd.write((account + QLatin1Char(':') + password + QLatin1Char('\n')).toUtf8());
    chpasswd.closeWriteChannel();
    return chpasswd.waitForFinished(10000) && chpasswd.exitStatus() == QProcess::NormalExit && chpasswd.exitCode() == 0;
}

/// The answers a dialog account received since the servers started or ClearDialogAnswers, oldest first.
inline QList<TestServers::DialogAnswer> DialogAnswers(const QString& account)
{
    QList<TestServers::DialogAnswer> answers;
    QFile log(TestServers::WorkDir + QStringLiteral("/received/") + account + QStringLiteral(".log"));
    if (!log.open(QIODevice::ReadOnly))
        return answers;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2)
            answers.append({QString::fromLatin1(fields[0]), QByteArray::fromHex(fields[1])});
    }
    return answers;
}

/// Forgets the answers recorded for a dialog account.
inline bool ClearDialogAnswers(const QString& account)
{
    QFile log(TestServers::WorkDir + QStringLiteral("/received/") + account + QStringLiteral(".log"));
    return log.open(QIODevice::WriteOnly | QIODevice::Truncate);
}
