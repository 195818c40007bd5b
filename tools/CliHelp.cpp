#include "tools/CliHelp.h"

#include <QHash>

namespace CliHelp {

namespace {

const char* const kSelection = R"(
Selection (at least one):
  --all                   every user of every host
  --host ADDRESS[:PORT]   the users of this host (repeatable; port 22 when none is given)
  --user LOGIN            users with this login (repeatable; with --host only on those hosts)
  --due-within DAYS       users whose valid period runs out within DAYS days or has run out
                          (never users without a valid period, nor on the day of the last change)
--host, --user and --due-within narrow each other; --all stands alone.
)";

const QHash<QString, QString>& pages()
{
    static const QHash<QString, QString> texts = {
        {QStringLiteral("init-db"), QStringLiteral(R"(Usage: veltrane-cli init-db PATH

Creates a new encrypted database at PATH with the default OS profiles, no program password and
protection off. Refuses to overwrite an existing file.

Example:
  veltrane-cli init-db /srv/veltrane/veltrane.db
)")},
        {QStringLiteral("encipher"), QStringLiteral(R"(Usage: veltrane-cli encipher | decipher

Reads one text per line on standard input and writes one result per line: encipher turns plain
passwords into the stored form, decipher turns stored text back into the plain password.

Example:
  echo 'Secret1!' | veltrane-cli encipher
)")},
        {QStringLiteral("decipher-log"), QStringLiteral(R"(Usage: veltrane-cli decipher-log FILE

Prints the user identity (user id and login) and the deciphered current and new passwords kept
in a fallback log file of the Logs folder, written when a batch could not save its outcome.
Use it to learn which password a host really has now.

Example:
  veltrane-cli decipher-log /opt/veltrane/bin/Logs/20240305150712_root.log
)")},
        {QStringLiteral("list"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] list [--json]

Lists hosts, users (passwords never shown) and OS profiles. --json writes one JSON document with
the arrays "hosts", "users" and "osProfiles" for scripts.

Example:
  veltrane-cli --db /srv/veltrane/veltrane.db list --json
)")},
        {QStringLiteral("host add"),
         QStringLiteral(R"(Usage: veltrane-cli [--db PATH] host add ADDRESS[:PORT] [--os NAME] [--manager LOGIN]
                     [--login-as manager|user] [--elevate none|sudo|su] [--manager-key FILE]
                     [--use-agent | --no-use-agent] [--legacy-algorithms | --no-legacy-algorithms]
                     [--note TEXT]

Adds a host (port 22 when none is given). --os names an OS profile as 'list' shows it (default
"Other OS..."). --login-as says which account changes passwords: manager (needs --manager) or
user; the default is manager when --manager is given, else user.

--elevate says how the manager account becomes root to run passwd: none (it may already, the
default), sudo (sudo passwd NAME; sudo's password prompt is answered with the manager password,
and sudo without a password works too) or su (su - root -c 'passwd NAME' with the host's root
password). --manager-key FILE logs the manager in with that private key (ed25519, ECDSA or RSA,
OpenSSH or PEM format); the path is stored as an absolute path. The keys of a running ssh-agent
are tried only when the manager has neither a password nor a key, or with --use-agent, the host
editor's "Also try the ssh-agent's keys"; --no-use-agent, the default, turns that off again.

--legacy-algorithms, the host editor's check box for old systems, also offers ssh-rsa host keys
and signatures, the key exchanges diffie-hellman-group14-sha1 and group1-sha1 and hmac-sha1 to
this host only, for systems that cannot be upgraded; --no-legacy-algorithms, the default, refuses
them as OpenSSH does.

Addresses and the manager login may hold no control character and no white space, may not start
with "-", and have at most 256 bytes; an address is a host name, an IPv4 address or an IPv6 address.

Secrets come from standard input, one per line, in this order (or from prompts with echo off on
a terminal):
  1. the manager password, when --manager is given (an empty line for none: allowed with a key)
  2. the key's passphrase, when --manager-key is given (an empty line for none)
  3. the root password, when --elevate su is given

Example:
  printf '%s\n' "$ROOT_PASSWORD" | veltrane-cli host add 10.0.0.5 --os Linux --manager root
  printf '%s\n%s\n' "$ADMIN_PASSWORD" "$KEY_PASSPHRASE" | veltrane-cli host add 10.0.0.6 \
      --os 'Linux (manager account)' --manager admin --elevate sudo --manager-key ~/.ssh/id_ed25519
)")},
        {QStringLiteral("host edit"),
         QStringLiteral(R"(Usage: veltrane-cli [--db PATH] host edit ADDRESS[:PORT] [--address A] [--port P] [--os NAME]
                     [--manager LOGIN] [--login-as manager|user] [--elevate none|sudo|su]
                     [--manager-key FILE] [--use-agent | --no-use-agent]
                     [--legacy-algorithms | --no-legacy-algorithms] [--note TEXT]

Changes the host ADDRESS[:PORT]; only the options given change. Standard input gives the secrets
of the options given, one per line, in the order of 'host add': the manager password with
--manager, the key's passphrase with --manager-key, the root password with --elevate su.
--manager-key "" removes the key and its passphrase; --elevate none or sudo drops a stored root
password. --use-agent and --legacy-algorithms turn the host's switches on, --no-use-agent and
--no-legacy-algorithms off.

Example:
  veltrane-cli host edit 10.0.0.5 --port 2222 --note "moved behind the gateway"
  printf '%s\n' "$ROOT_PASSWORD" | veltrane-cli host edit 10.0.0.7 --elevate su
)")},
        {QStringLiteral("host delete"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] host delete ADDRESS[:PORT]

Deletes a host. A host that still has users is refused: delete its users first.

Example:
  veltrane-cli host delete 10.0.0.5:2222
)")},
        {QStringLiteral("host trust"),
         QStringLiteral(R"(Usage: veltrane-cli host trust ADDRESS[:PORT] [--fingerprint SHA256:...]

Connects to the host, fetches the SSH key it presents now (no login), prints the key's type and
SHA256 fingerprint and records it in the known_hosts file of the data folder ('veltrane-cli
paths' shows it), replacing any key recorded for that address and port. Use it for a host whose
key has changed (reinstalled, new key) after checking the fingerprint with its administrator, or
to record a host before its first batch when [Options] HostKeyPolicy=known-only. With
--fingerprint the key is recorded only when it has that fingerprint (ssh-keygen -lf
/etc/ssh/ssh_host_ed25519_key.pub on the host prints it).

Example:
  veltrane-cli host trust 10.0.0.5:2222 --fingerprint SHA256:uNiVztksCsDhcc0u9e8BujQXVUpKZIDTMczCvj3tD2s
)")},
        {QStringLiteral("host forget"), QStringLiteral(R"(Usage: veltrane-cli host forget ADDRESS[:PORT]

Removes every key recorded for that address and port from the known_hosts file of the data
folder. Exit 1 when none was recorded.

Example:
  veltrane-cli host forget 10.0.0.5:2222
)")},
        {QStringLiteral("user add"),
         QStringLiteral(
             R"(Usage: veltrane-cli [--db PATH] user add ADDRESS[:PORT] LOGIN [--name T] [--email T] [--period DAYS]
                     [--remark T]

Adds a user account to a host. Standard input gives the current password on the first line and,
optionally, the pending new password on the second. --period is the valid period in days (none
when not given). LOGIN may hold no control character and no white space, may not start with "-",
and has at most 256 bytes.

Example:
  printf '%s\n%s\n' "$CURRENT" "$NEXT" | veltrane-cli user add 10.0.0.5 oracle --name "Ann O'Neil" --period 90
)")},
        {QStringLiteral("user edit"),
         QStringLiteral(
             R"(Usage: veltrane-cli [--db PATH] user edit ADDRESS[:PORT] LOGIN [--login NEW] [--name T] [--email T]
                     [--period DAYS|none] [--remark T] [--password] [--new-password]

Changes a user; only the options given change. --password reads the current password and
--new-password the pending new password (an empty line clears it) from standard input, one per
line, in that order. --login NEW follows the rules of 'user add'.

A user that is the manager account of its host (the login of --manager), or root on a host with
--elevate su, takes the host's stored manager or root password along whenever change-password or
verify settles a new password for it.

Example:
  printf '%s\n' "$PASSWORD_NOW" | veltrane-cli user edit 10.0.0.5 oracle --password --period none
)")},
        {QStringLiteral("user delete"),
         QStringLiteral(R"(Usage: veltrane-cli [--db PATH] user delete ADDRESS[:PORT] LOGIN

Deletes a user account and its history rows.

Example:
  veltrane-cli user delete 10.0.0.5 oracle
)")},
        {QStringLiteral("generate"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] generate SELECTION [--print-only]

Gives every selected user a new pending password made by the password generator with the rules of
Options.ini (Pass_Length, Pass_Number, Pass_Spechar), all in one transaction. With --print-only it
prints LOGIN HOST:PORT PASSWORD lines and stores nothing.

A user whose change was started and never confirmed keeps its pending password, since the host may
already use it: it is listed as skipped and the exit status is 1. Run verify on it first.
)") + QString::fromUtf8(kSelection) + QStringLiteral(R"(
Example:
  veltrane-cli generate --host 10.0.0.5 --user oracle --user scott
)")},
        {QStringLiteral("test-login"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] test-login SELECTION

Tests whether the stored current password of every selected user still logs in over SSH.
)") + QString::fromUtf8(kSelection) + QStringLiteral(R"(
Prints one line per user as it finishes (login, host:port, time and outcome) and then the totals.
Exit 0 when every user succeeded, 1 otherwise. Ctrl+C stops after the user in progress.

Example:
  veltrane-cli test-login --all
)")},
        {QStringLiteral("change-password"),
         QStringLiteral(R"(Usage: veltrane-cli [--db PATH] change-password SELECTION [--no-verify-after]

Changes the password of every selected user that has a pending new password, through passwd on
its host; on success the new password becomes the current one.

Every change the host reports as a success is checked at once (VerifyAfterChange in Options.ini, on
by default): through the manager's reading of the account's shadow entry where the manager changes
the host's passwords and may read it, else by a login with the new password. Only a password the
host takes becomes the current one; where neither can tell, the line says "Not checked: ..." and
the change counts. --no-verify-after skips the check for this run.

Before a new password is sent, the change is recorded in the database; a change whose outcome is
unclear (the host closed, no success text) is checked at once by logging in with the new and the
old password, and the one the host accepts is kept. Only one batch that changes passwords runs on a
database at a time: a second one is refused with the process that holds it.
)") + QString::fromUtf8(kSelection) +
             QStringLiteral(R"(
Prints one line per user as it finishes and then the totals. Exit 0 when every user succeeded,
1 otherwise. Ctrl+C stops after the user in progress.

Example:
  veltrane-cli generate --due-within 7 && veltrane-cli change-password --due-within 7
)")},
        {QStringLiteral("verify"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] verify SELECTION

Finds which stored password each selected user's host accepts: logs in with the current password
and, when that is refused, with the pending one. When only the pending one works, it becomes the
current password (as after a change) with its own history row. When neither works, nothing is
changed.
)") + QString::fromUtf8(kSelection) + QStringLiteral(R"(
Prints one line per user and then the totals. Exit 0 only when every selected user ends with a
current password that its host accepts, 1 otherwise.

Example:
  veltrane-cli verify --all
)")},
        {QStringLiteral("send-mail"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] send-mail SELECTION

Sends the notice mail to the owner of every selected user.
)") + QString::fromUtf8(kSelection) + QStringLiteral(R"(
Prints one line per user and then the totals; exit 0 when every mail went out, 1 otherwise.

Example:
  veltrane-cli send-mail --host 10.0.0.5
)")},
        {QStringLiteral("import"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] import hosts|users FILE.csv

Reads hosts or users from a CSV file (RFC 4180, UTF-8, a header row naming the columns, in any
order). The whole file goes in one transaction: any bad row rejects the import, every offending
line is listed, and nothing is stored.

hosts.csv columns: address, port, os, manager_login, manager_password, login_as, note, elevate,
                   root_password, manager_key, manager_key_passphrase, use_agent,
                   legacy_algorithms
users.csv columns: address, port, login, password, new_password, period, full_name, email, remark
Required: address (hosts); address, login, password (users). Empty port means 22; empty elevate
means none. root_password only with elevate su; manager_key is an absolute path. use_agent and
legacy_algorithms take yes or no, or 1 or 0; empty means no.

A field with a control character (a NUL, an escape, ...) refuses its row, naming its line and
column; only note and remark may hold line breaks and tabs. Logins and addresses follow the rules
of 'host add' and 'user add'.

Example:
  veltrane-cli import hosts hosts.csv && veltrane-cli import users users.csv
)")},
        {QStringLiteral("rekey"),
         QStringLiteral(R"(Usage: veltrane-cli [--db PATH] [--db-password-file FILE] rekey --new-password-file FILE
       veltrane-cli [--db PATH] [--db-password-file FILE] rekey --builtin

Changes the key of the database file. --new-password-file puts the database under the password on
the first line of FILE (at most 30 characters), which also becomes the program password, with
password protection on: from then on a copy of the file is useless without the password, and the
GUI and every veltrane-cli command ask for it. There is no way to recover a forgotten password.
--builtin returns the database to the key built into the program; the program password and
protection stay as they are.

The re-key either completes or leaves the file as it was. A wrong current password ends with exit
1 and changes nothing.

Example:
  veltrane-cli --db /srv/veltrane/veltrane.db rekey --new-password-file /root/veltrane.pw
)")},
        {QStringLiteral("paths"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] paths

Prints where the programs keep their files, one "Name: path" line each: the data folder,
Options.ini, the database (--db, or the DataPath of Options.ini), known_hosts, the Logs folder,
the batch lock and the user manual. An installed copy (a bin folder beside share/veltrane, as the
Debian package lays it out) keeps them in $XDG_DATA_HOME/veltrane, ~/.local/share/veltrane by
default, and creates that folder with the default database on its first start; the build tree
and a portable copy keep them beside the programs.

Example:
  veltrane-cli paths
)")},
        {QStringLiteral("export"), QStringLiteral(R"(Usage: veltrane-cli [--db PATH] export hosts|users FILE.csv

Writes the hosts or users in the import format, with the password and passphrase columns left
empty. FILE.csv "-" writes to standard output.

Example:
  veltrane-cli export users - > users.csv
)")},
    };
    return texts;
}

} // namespace

QString overview()
{
    return QStringLiteral(R"(Usage: veltrane-cli [--db PATH] [--db-password-file FILE] [--parallel N] COMMAND [OPTIONS]

Commands:
  init-db PATH                          create a new encrypted database
  encipher | decipher                   one text per line on stdin, one result per line
  decipher-log FILE                     identity and passwords kept in a fallback log file
  list [--json]                         hosts, users (no passwords) and OS profiles
  host add|edit|delete ADDRESS[:PORT]   manage hosts
  host trust|forget ADDRESS[:PORT]      record or remove a host's SSH key
  user add|edit|delete ADDRESS[:PORT] LOGIN
                                        manage user accounts
  generate SELECTION [--print-only]     new pending passwords from the generator
  test-login SELECTION                  test the stored passwords over SSH
  change-password SELECTION             change the passwords on the hosts
  verify SELECTION                      find which stored password each host accepts
  send-mail SELECTION                   notice mail to the accounts' owners
  import hosts|users FILE.csv           load a CSV file in one transaction
  export hosts|users FILE.csv           write a CSV file without passwords
  rekey --new-password-file FILE | --builtin
                                        put the database under a password, or back
  paths                                 where the database and the other files are
  --version                             the version of veltrane-cli

SELECTION: --all | --host ADDRESS[:PORT] ... [--user LOGIN] ... | --due-within DAYS

--db PATH defaults to the DataPath of Options.ini in the data folder ('veltrane-cli paths' shows
where: beside the programs, or ~/.local/share/veltrane for an installed copy). A database
under a password of its own is opened with the first line of --db-password-file FILE, or with
the password typed at a prompt on a terminal. Passwords are read from standard input, one per
line, never from the command line. Exit status: 0 done, 1 failed, 2 wrong command line. 'veltrane-cli COMMAND --help' shows a command with an example.

Every batch command (test-login, change-password, verify, send-mail) first checks the users whose
change an interrupted run left unconfirmed, and records the password their hosts accept. A batch
works on up to N hosts at once (--parallel N, 1 to 32; default: ParallelHosts in Options.ini, or
4); the accounts of one host run one after another, and each user's line is printed when it ends.

Example:
  veltrane-cli --db /srv/veltrane/veltrane.db test-login --all
)");
}

QString command(const QString& name)
{
    if (name == QLatin1String("decipher"))
        return pages().value(QStringLiteral("encipher"));
    if (name == QLatin1String("host") || name == QLatin1String("user")) {
        QString text;
        for (const char* action : {" add", " edit", " delete", " trust", " forget"})
            if (pages().contains(name + QLatin1String(action)))
                text += pages().value(name + QLatin1String(action)) + QLatin1Char('\n');
        return text;
    }
    return pages().value(name);
}

} // namespace CliHelp
