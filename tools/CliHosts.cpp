#include "tools/CliHosts.h"

#include "core/NameRules.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"
#include "tools/CliFieldRules.h"
#include "tools/CliHelp.h"
#include "tools/CliHostAddress.h"
#include "tools/CliHostKeys.h"
#include "tools/CliOutput.h"
#include "tools/CliSecrets.h"
#include "tools/CliStore.h"

#include <QFileInfo>

namespace {

using CliFieldRules::UseManagerAccount;
using CliFieldRules::UseUserAccount;

const QStringList kHostOptions = {QStringLiteral("os"),   QStringLiteral("manager"), QStringLiteral("login-as"),
                                  QStringLiteral("note"), QStringLiteral("elevate"), QStringLiteral("manager-key")};

/// Switches given as --NAME / --no-NAME.
const QStringList kHostFlags = {QStringLiteral("use-agent"), QStringLiteral("no-use-agent"),
                                QStringLiteral("legacy-algorithms"), QStringLiteral("no-legacy-algorithms")};

/// The switch NAME as the command line sets it, or fallback when neither --NAME nor --no-NAME is given.
bool switchValue(const CliArguments& args, const QString& name, bool fallback)
{
    const bool on = args.has(name);
    const bool off = args.has(QStringLiteral("no-") + name);
    if (on && off)
        throw CliError::usage(QStringLiteral("--%1 and --no-%1 contradict each other: give one of them").arg(name));
    return on ? true : off ? false : fallback;
}

/// Refuses an address or a login name no host can take, naming where it came from.
void refuseBadName(const QString& problem)
{
    if (!problem.isEmpty())
        throw CliError::usage(problem.trimmed());
}

int loginAsValue(const QString& text)
{
    if (const std::optional<int> value = CliFieldRules::parseLoginAs(text))
        return *value;
    throw CliError::usage(QStringLiteral("--login-as takes 'manager' or 'user', not '%1'").arg(text));
}

int osIdOrThrow(const CliStore& store, const QString& name)
{
    const std::optional<int> osid = store.osIdByName(name);
    if (osid)
        return *osid;
    const QStringList names = store.osProfiles().values();
    throw CliError::failure(QStringLiteral("no OS profile named '%1': use one of %2 or \"%3\"")
                                .arg(name, names.join(QStringLiteral(", ")), CliStore::OtherOsName));
}

TElevation elevationValue(const QString& text)
{
    if (const std::optional<TElevation> value = ParseElevation(text))
        return *value;
    throw CliError::usage(QStringLiteral("--elevate takes 'none', 'sudo' or 'su', not '%1'").arg(text));
}

/// Checks the words of the options before anything is read from standard input.
void checkOptionWords(const CliArguments& args)
{
    if (args.has(QStringLiteral("login-as")))
        loginAsValue(args.value(QStringLiteral("login-as")));
    if (args.has(QStringLiteral("elevate")))
        elevationValue(args.value(QStringLiteral("elevate")));
    switchValue(args, QStringLiteral("use-agent"), false);
    switchValue(args, QStringLiteral("legacy-algorithms"), false);
    if (args.has(QStringLiteral("manager")))
        refuseBadName(LoginNameProblem(args.value(QStringLiteral("manager")), QStringLiteral("--manager")));
}

/// The key file as it is stored: absolute, so that it means the same file from wherever the program runs.
QString keyFileOrThrow(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        throw CliError::failure(
            QStringLiteral("cannot read the key file %1: give the path of a private key file you can read").arg(path));
    return file.absoluteFilePath();
}

/// Applies the options shared by add and edit. Secrets come from standard input, one per line, in this
/// order: the manager password when --manager is given (an empty line for none), the key's passphrase
/// when --manager-key names a file (an empty line for none), the root password when --elevate su is given.
void applyOptions(const CliArguments& args, const CliStore& store, THost& host, const CliHostAddress& address)
{
    if (args.has(QStringLiteral("os")))
        host.OSID = osIdOrThrow(store, args.value(QStringLiteral("os")));
    if (args.has(QStringLiteral("note")))
        host.hNote = args.value(QStringLiteral("note"));
    if (args.has(QStringLiteral("login-as")))
        host.UseManager = loginAsValue(args.value(QStringLiteral("login-as")));
    if (args.has(QStringLiteral("elevate"))) {
        host.MngElevation = elevationValue(args.value(QStringLiteral("elevate")));
        // Kept only while su needs it.
        if (host.MngElevation != TElevation::Su)
            host.MngRootPwd.clear();
    }
    host.MngUseAgent = switchValue(args, QStringLiteral("use-agent"), host.MngUseAgent);
    host.hLegacyAlgorithms = switchValue(args, QStringLiteral("legacy-algorithms"), host.hLegacyAlgorithms);
    const bool keyGiven = args.has(QStringLiteral("manager-key"));
    if (keyGiven) {
        const QString path = args.value(QStringLiteral("manager-key")).trimmed();
        host.MngKeyPath = path.isEmpty() ? QString() : keyFileOrThrow(path);
        host.MngKeyPass.clear();
    }

    CliSecrets secrets;
    if (args.has(QStringLiteral("manager"))) {
        host.MngLogin = args.value(QStringLiteral("manager"));
        const QString what =
            QStringLiteral("password of the manager account %1 on %2").arg(host.MngLogin, address.toString());
        // A key logs in without it; sudo without a password needs none either.
        const bool needed = host.UseManager == UseManagerAccount && host.MngKeyPath.isEmpty();
        const SecretBuffer password = needed ? secrets.require(what) : secrets.optional(what);
        host.MngPwd = EncipherPassword(QString::fromUtf8(password.bytes()));
    }
    if (keyGiven && !host.MngKeyPath.isEmpty()) {
        const SecretBuffer passphrase =
            secrets.optional(QStringLiteral("passphrase of the key %1 (empty for none)").arg(host.MngKeyPath));
        host.MngKeyPass = EncipherPassword(QString::fromUtf8(passphrase.bytes()));
    }
    if (args.has(QStringLiteral("elevate")) && host.MngElevation == TElevation::Su) {
        const SecretBuffer root = secrets.require(QStringLiteral("root password of %1 for su").arg(address.toString()));
        host.MngRootPwd = EncipherPassword(QString::fromUtf8(root.bytes()));
    }
}

/// The host editor's checks, as one line that says what to give.
void validate(const THost& host)
{
    if (host.hAddress.trimmed().isEmpty())
        throw CliError::usage(QStringLiteral("the host address is empty"));
    if (host.UseManager == UseManagerAccount && host.MngLogin.isEmpty())
        throw CliError::usage(QStringLiteral("logging in as the manager account needs --manager LOGIN (or use "
                                             "--login-as user)"));
    if (host.UseManager == UseManagerAccount && host.MngPwd.isEmpty() && host.MngKeyPath.isEmpty())
        throw CliError::usage(QStringLiteral("logging in as the manager account needs the manager password: give "
                                             "--manager LOGIN and the password on standard input (or a key with "
                                             "--manager-key FILE)"));
    if (host.MngElevation == TElevation::Su && host.MngRootPwd.isEmpty())
        throw CliError::usage(QStringLiteral("--elevate su needs the root password: give --elevate su and the "
                                             "password on its line of standard input"));
}

void refuseDuplicate(const CliStore& store, const CliHostAddress& address, int exceptHostId)
{
    const std::optional<THost> existing = store.findHost(address);
    if (existing && existing->hID != exceptHostId)
        throw CliError::failure(QStringLiteral("host %1 already exists: change it with 'veltrane-cli host edit %1'")
                                    .arg(address.toString()));
}

void saveOrThrow(CliContext& context, const THost& host, TSaveMode mode, const QString& what)
{
    if (!context.dm().SaveHost(host, mode))
        context.statementFailed(QStringLiteral("%1 was not stored").arg(what));
}

} // namespace

int CliHosts::add(const QStringList& arguments)
{
    const CliArguments args(arguments, kHostFlags, kHostOptions);
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("host add")));
        return ExitOk;
    }
    args.requirePositional(1, QStringLiteral("ADDRESS[:PORT] of the host to add"));
    const CliHostAddress address = CliHostAddress::parseOrThrow(args.positional()[0]);
    refuseBadName(HostAddressProblem(address.address, QStringLiteral("the host address")));
    checkOptionWords(args);
    CliStore store(m_context);
    refuseDuplicate(store, address, -1);

    THost host;
    host.hID = store.dm().NextHostId();
    host.hAddress = address.address;
    host.hPort = address.port;
    host.OSID = -1;
    // Without a manager account only the user's own login can change the password.
    host.UseManager = args.has(QStringLiteral("manager")) ? UseManagerAccount : UseUserAccount;
    applyOptions(args, store, host, address);
    validate(host);
    saveOrThrow(m_context, host, TSaveMode::Insert, QStringLiteral("host %1").arg(address.toString()));
    CliOutput::out(QStringLiteral("Added host %1.\n").arg(address.toString()));
    return ExitOk;
}

int CliHosts::edit(const QStringList& arguments)
{
    QStringList valued = kHostOptions;
    valued << QStringLiteral("address") << QStringLiteral("port");
    const CliArguments args(arguments, kHostFlags, valued);
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("host edit")));
        return ExitOk;
    }
    args.requirePositional(1, QStringLiteral("ADDRESS[:PORT] of the host to change"));
    const CliHostAddress address = CliHostAddress::parseOrThrow(args.positional()[0]);
    checkOptionWords(args);
    const int port = args.intValue(QStringLiteral("port"), 1, 65535, address.port);
    CliStore store(m_context);
    THost host = store.requireHost(address);

    CliHostAddress changed{args.value(QStringLiteral("address"), host.hAddress).trimmed(), port};
    if (changed.address.isEmpty())
        throw CliError::usage(QStringLiteral("--address must not be empty"));
    if (args.has(QStringLiteral("address"))) {
        changed.address = BareHostAddress(changed.address);
        refuseBadName(HostAddressProblem(changed.address, QStringLiteral("--address")));
    }
    refuseDuplicate(store, changed, host.hID);
    host.hAddress = changed.address;
    host.hPort = changed.port;
    applyOptions(args, store, host, changed);
    validate(host);
    saveOrThrow(m_context, host, TSaveMode::Update, QStringLiteral("host %1").arg(address.toString()));
    CliOutput::out(QStringLiteral("Changed host %1.\n").arg(changed.toString()));
    return ExitOk;
}

int CliHosts::remove(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("host delete")));
        return ExitOk;
    }
    args.requirePositional(1, QStringLiteral("ADDRESS[:PORT] of the host to delete"));
    const CliHostAddress address = CliHostAddress::parseOrThrow(args.positional()[0]);
    CliStore store(m_context);
    const THost host = store.requireHost(address);
    const int users = store.userCountOfHost(host.hID);
    if (users > 0)
        throw CliError::failure(QStringLiteral("host %1 still has %2 user(s) and is kept: delete them first with "
                                               "'veltrane-cli user delete %1 LOGIN'")
                                    .arg(address.toString(), QString::number(users)));
    saveOrThrow(m_context, host, TSaveMode::Delete, QStringLiteral("host %1").arg(address.toString()));
    CliOutput::out(QStringLiteral("Deleted host %1.\n").arg(address.toString()));
    return ExitOk;
}

QStringList CliHosts::otherActions() const
{
    return {QStringLiteral("trust"), QStringLiteral("forget")};
}

int CliHosts::other(const QString& action, const QStringList& arguments)
{
    return action == QLatin1String("trust") ? CliHostKeys::Trust(arguments) : CliHostKeys::Forget(arguments);
}
