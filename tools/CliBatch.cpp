#include "tools/CliBatch.h"

#include "batch/BatchLock.h"
#include "batch/ChangeIntent.h"
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchRunner.h"
#include "batch/TRemoteBatchOperations.h"
#include "core/TdmPublic.h"
#include "tools/CliArguments.h"
#include "tools/CliBatchPrinter.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"
#include "tools/CliHelp.h"
#include "tools/CliInterrupt.h"
#include "tools/CliOutput.h"
#include "tools/CliSelection.h"
#include "tools/CliStore.h"

#include <QScopeGuard>
#include <QTimer>

#include <memory>

QString CliBatch::CommandName(TOperationType type)
{
    switch (type) {
    case otTestLogin:
        return QStringLiteral("test-login");
    case otChangePassword:
        return QStringLiteral("change-password");
    case otSendMail:
        return QStringLiteral("send-mail");
    case otVerifyPassword:
        return QStringLiteral("verify");
    }
    return QString();
}

namespace {

/// Runs one batch through the shared runner with the console printer; returns false when a user's
/// outcome could be kept nowhere (the error and, after a change, the password are on stderr).
struct TBatchTotals
{
    int total = 0;
    int succeeded = 0;
};

bool runPrinted(TdmPublic& dm, TBatchOperations& operations, TOperationType type, const QList<TUser>& users,
                int parallelHosts, TBatchTotals& totals, bool verifyAfterChange = false)
{
    TBatchRunner runner(dm, operations, type, 0, users);
    runner.SetParallelHosts(parallelHosts);
    runner.SetVerifyAfterChange(verifyAfterChange);
    CliBatchPrinter printer(runner.Users(), CliOutput::stdoutIsTerminal());
    runner.SetObserver(&printer);
    // Ctrl+C is the Stop button: the users in flight end as cancelled, no further one starts.
    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, [&runner] {
        if (CliInterrupt::requested())
            runner.Stop();
    });
    interruptWatch.start(50);
    const auto count = qScopeGuard([&] { totals = {runner.Total(), runner.Succeeded()}; });
    try {
        runner.RunBatch();
    } catch (const UnsavedOutcomeError& error) {
        CliOutput::error(error.message());
        // This process is the last place that holds the host's password: hand it over, enciphered.
        if (error.passwordChanged())
            CliOutput::error(QStringLiteral("Keep the next line, it holds the passwords of %1: save it to a file "
                                            "and read it with 'veltrane-cli decipher-log FILE'.\n%2")
                                 .arg(error.user().LoginName, FallbackLogIdentityLine(error.user())));
        return false;
    }
    return true;
}

bool changesPasswords(TOperationType type)
{
    return type == otChangePassword || type == otVerifyPassword;
}

} // namespace

int CliBatch::run(const QStringList& arguments)
{
    QStringList flags = CliSelection::Flags();
    if (m_type == otChangePassword)
        flags << QStringLiteral("no-verify-after");
    const CliArguments args(arguments, flags, CliSelection::ValuedOptions());
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(CommandName(m_type)));
        return ExitOk;
    }
    args.requirePositional(0, QString());
    const CliSelection selection(args);
    const CliStore store(m_context);
    const QList<TUser> users = selection.select(store);
    TdmPublic& dm = store.dm();

    // A batch that changes passwords must be the only one on this database; the others take the
    // lock only to settle what an interrupted run left, and only when no such batch runs (its
    // changes in flight are its own, not left over).
    const QString holder = QStringLiteral("veltrane-cli ") + CommandName(m_type);
    std::unique_ptr<TBatchLock> lock;
    try {
        lock = std::make_unique<TBatchLock>(dm.DBSession.FileName(), holder);
    } catch (const BatchLockError& error) {
        if (changesPasswords(m_type))
            throw CliError::failure(error.message());
    }

    // From here on Ctrl+C is the Stop button: the user in progress ends as cancelled, no further
    // user starts, and the totals still print.
    CliInterrupt::install();
    // A batch goes on after a failed save, as the runner window does; show each one as it happens.
    m_context.ui().setDeferDatabaseErrors(false);

    TRemoteBatchOperations operations(dm);
    const int parallelHosts = m_context.parallelHosts();
    TBatchTotals totals;

    bool leftoversSettled = true;
    if (lock) {
        const QList<TUser> leftovers = UsersWithOpenIntent(dm);
        if (!leftovers.isEmpty()) {
            CliOutput::out(QStringLiteral("Checking %1 user(s) whose password change an interrupted run left "
                                          "unconfirmed:\n")
                               .arg(leftovers.size()));
            if (!runPrinted(dm, operations, otVerifyPassword, leftovers, parallelHosts, totals))
                return ExitFailure;
            leftoversSettled = totals.succeeded == totals.total;
        }
        if (!changesPasswords(m_type))
            lock.reset();
    }
    if (CliInterrupt::requested())
        return ExitFailure;

    const bool verifyAfterChange = dm.OptionsFile.VerifyAfterChange() && !args.has(QStringLiteral("no-verify-after"));
    if (!runPrinted(dm, operations, m_type, users, parallelHosts, totals, verifyAfterChange))
        return ExitFailure;
    const bool allSucceeded = totals.succeeded == totals.total;
    return allSucceeded && leftoversSettled && !m_context.ui().failed() ? ExitOk : ExitFailure;
}
