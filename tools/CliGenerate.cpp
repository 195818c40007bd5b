#include "tools/CliGenerate.h"

#include "batch/BatchLock.h"
#include "batch/ChangeIntent.h"
#include "core/PasswordCipher.h"
#include "core/SecretBuffer.h"
#include "core/TdmPublic.h"
#include "engine/PasswordGenerator.h"
#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"
#include "tools/CliSelection.h"
#include "tools/CliStore.h"
#include "tools/CliTransaction.h"

namespace {

/// "LOGIN HOST:PORT", safe for a terminal.
QString userLabel(const TUser& user)
{
    return CliOutput::data(user.LoginName + QLatin1Char(' ') + user.HostIP + QLatin1Char(':') +
                           QString::number(user.HostPort));
}

} // namespace

int CliGenerate::run(const QStringList& arguments)
{
    const CliArguments args(arguments, CliSelection::Flags() << QStringLiteral("print-only"),
                            CliSelection::ValuedOptions());
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("generate")));
        return ExitOk;
    }
    args.requirePositional(0, QString());
    const CliSelection selection(args);
    const CliStore store(m_context);
    const QList<TUser> users = selection.select(store);

    const TOptionsFile& options = store.dm().OptionsFile;
    const int length = options.PassLength();
    const bool digits = options.PassNumber();
    const bool specials = options.PassSpechar();

    if (args.has(QStringLiteral("print-only"))) {
        for (const TUser& user : users) {
            const SecretBuffer password(GeneratePassword(digits, specials, length));
            CliOutput::out(userLabel(user) + QLatin1Char(' ') + QString::fromUtf8(password.bytes()) +
                           QLatin1Char('\n'));
        }
        return ExitOk;
    }

    // A change batch elsewhere may be sending these very pending passwords.
    const TBatchLock lock(store.dm().DBSession.FileName(), QStringLiteral("veltrane-cli generate"));
    QList<TUser> generated;
    int skipped = 0;
    for (TUser user : users) {
        RefreshPasswords(store.dm(), user);
        if (user.HasOpenIntent()) {
            // The host may already use this pending password: replacing it could lose it for good.
            CliOutput::out(userLabel(user) + QStringLiteral(" skipped: ") + OpenIntentText(user) + QLatin1Char('\n'));
            ++skipped;
            continue;
        }
        generated << user;
    }

    // All users or none, as the user list does it.
    CliTransaction transaction(store.dm().DBSession);
    for (TUser user : generated) {
        const SecretBuffer password(GeneratePassword(digits, specials, length));
        user.pwNew = EncipherPassword(QString::fromUtf8(password.bytes()));
        if (!store.dm().SaveUser(user, TSaveMode::Update))
            m_context.statementFailed(QStringLiteral("no new password was stored"));
    }
    transaction.commit();
    for (const TUser& user : generated)
        CliOutput::out(userLabel(user) + QStringLiteral(" new password pending\n"));
    CliOutput::out(QStringLiteral("Generated new passwords for %1 user(s).\n").arg(generated.size()));
    if (skipped > 0) {
        CliOutput::error(QStringLiteral("%1 user(s) skipped: their change was never confirmed; run 'veltrane-cli "
                                        "verify' on them first.")
                             .arg(skipped));
        return ExitFailure;
    }
    return ExitOk;
}
