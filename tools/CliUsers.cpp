#include "tools/CliUsers.h"

#include "batch/ChangeIntent.h"

#include "core/DayNumber.h"
#include "core/NameRules.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"
#include "tools/CliFieldRules.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"
#include "tools/CliSecrets.h"
#include "tools/CliStore.h"
#include "tools/CliTransaction.h"

namespace {

const QStringList kUserOptions = {QStringLiteral("name"), QStringLiteral("email"), QStringLiteral("period"),
                                  QStringLiteral("remark")};

int periodOrThrow(const QString& text)
{
    if (const std::optional<int> period = CliFieldRules::parsePeriod(text))
        return *period;
    throw CliError::usage(QStringLiteral("--period takes a number of days or 'none', not '%1'").arg(text));
}

void applyOptions(const CliArguments& args, TUser& user)
{
    if (args.has(QStringLiteral("name")))
        user.uName = args.value(QStringLiteral("name"));
    if (args.has(QStringLiteral("email")))
        user.Email = args.value(QStringLiteral("email"));
    if (args.has(QStringLiteral("period")))
        user.pwPeriod = periodOrThrow(args.value(QStringLiteral("period")));
    if (args.has(QStringLiteral("remark")))
        user.uRemark = args.value(QStringLiteral("remark"));
}

QString enciphered(const SecretBuffer& secret)
{
    return EncipherPassword(QString::fromUtf8(secret.bytes()));
}

QString userName(const QString& login, const CliHostAddress& address)
{
    return QStringLiteral("%1 on %2").arg(login, address.toString());
}

[[noreturn]] void notStored(CliContext& context, const QString& what)
{
    context.statementFailed(QStringLiteral("%1 was not stored").arg(what));
}

} // namespace

int CliUsers::add(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, kUserOptions);
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("user add")));
        return ExitOk;
    }
    args.requirePositional(2, QStringLiteral("ADDRESS[:PORT] and LOGIN of the user to add"));
    const CliHostAddress address = CliHostAddress::parseOrThrow(args.positional()[0]);
    const QString login = args.positional()[1];
    if (login.trimmed().isEmpty())
        throw CliError::usage(QStringLiteral("the login name is empty"));
    if (const QString problem = LoginNameProblem(login, QStringLiteral("the login name")); !problem.isEmpty())
        throw CliError::usage(problem.trimmed());
    TUser user;
    user.pwPeriod = -1;
    applyOptions(args, user);

    CliStore store(m_context);
    const THost host = store.requireHost(address);
    if (store.findUser(host, login))
        throw CliError::failure(QStringLiteral("user %1 already exists: change it with 'veltrane-cli user edit %2 %3'")
                                    .arg(userName(login, address), address.toString(), login));
    CliSecrets secrets;
    user.pwNow = enciphered(secrets.require(QStringLiteral("current password of %1").arg(userName(login, address))));
    user.pwNew = enciphered(
        secrets.optional(QStringLiteral("new password of %1 (empty for none)").arg(userName(login, address))));

    user.uID = store.dm().NextUserId();
    user.hID = host.hID;
    user.LoginName = login;
    user.RecTime = DayNumber::Now();
    user.pwLastTime = DayNumber::None;
    if (!store.dm().SaveUser(user, TSaveMode::Insert))
        notStored(m_context, QStringLiteral("user %1").arg(userName(login, address)));
    CliOutput::out(QStringLiteral("Added user %1.\n").arg(userName(login, address)));
    return ExitOk;
}

int CliUsers::edit(const QStringList& arguments)
{
    QStringList valued = kUserOptions;
    valued << QStringLiteral("login");
    const CliArguments args(arguments, {QStringLiteral("password"), QStringLiteral("new-password")}, valued);
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("user edit")));
        return ExitOk;
    }
    args.requirePositional(2, QStringLiteral("ADDRESS[:PORT] and LOGIN of the user to change"));
    const CliHostAddress address = CliHostAddress::parseOrThrow(args.positional()[0]);
    const QString login = args.positional()[1];
    CliStore store(m_context);
    TUser user = store.requireUser(address, login);
    applyOptions(args, user);

    if (args.has(QStringLiteral("login"))) {
        const QString newLogin = args.value(QStringLiteral("login"));
        if (newLogin.trimmed().isEmpty())
            throw CliError::usage(QStringLiteral("--login must not be empty"));
        if (const QString problem = LoginNameProblem(newLogin, QStringLiteral("--login")); !problem.isEmpty())
            throw CliError::usage(problem.trimmed());
        if (newLogin != login && store.findUser(store.requireHost(address), newLogin))
            throw CliError::failure(
                QStringLiteral("user %1 already exists; choose another login").arg(userName(newLogin, address)));
        user.LoginName = newLogin;
    }
    CliSecrets secrets;
    if (args.has(QStringLiteral("password")))
        user.pwNow =
            enciphered(secrets.require(QStringLiteral("current password of %1").arg(userName(login, address))));
    if (args.has(QStringLiteral("new-password")))
        user.pwNew = enciphered(
            secrets.optional(QStringLiteral("new password of %1 (empty for none)").arg(userName(login, address))));

    if (!store.dm().SaveUser(user, TSaveMode::Update))
        notStored(m_context, QStringLiteral("user %1").arg(userName(login, address)));
    // A current password given by hand settles an unconfirmed change: the administrator knows.
    if (args.has(QStringLiteral("password")) && !DropChangeIntent(store.dm(), user.uID))
        notStored(m_context, QStringLiteral("the settled change of user %1").arg(userName(login, address)));
    CliOutput::out(QStringLiteral("Changed user %1.\n").arg(userName(user.LoginName, address)));
    return ExitOk;
}

int CliUsers::remove(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("user delete")));
        return ExitOk;
    }
    args.requirePositional(2, QStringLiteral("ADDRESS[:PORT] and LOGIN of the user to delete"));
    const CliHostAddress address = CliHostAddress::parseOrThrow(args.positional()[0]);
    const QString login = args.positional()[1];
    CliStore store(m_context);
    const TUser user = store.requireUser(address, login);

    // The history rows and the user go together or not at all.
    CliTransaction transaction(store.dm().DBSession);
    if (!store.dm().SaveUser(user, TSaveMode::Delete))
        notStored(m_context, QStringLiteral("the deletion of user %1").arg(userName(login, address)));
    transaction.commit();
    CliOutput::out(QStringLiteral("Deleted user %1.\n").arg(userName(login, address)));
    return ExitOk;
}
