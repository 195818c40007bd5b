#include "batch/SaveUserOutcome.h"

#include "batch/FallbackLogFile.h"
#include "batch/History.h"
#include "core/DatabaseError.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"

#include <sqlcipher/sqlite3.h>

#include <stdexcept>

namespace {

/// A statement of the save step failed; OpenQuery has already shown why.
class StatementFailed : public std::runtime_error
{
public:
    StatementFailed() : std::runtime_error("statement failed") {}
};

/// The update of the fields a step owns; the rest of the row is left as it stands.
QString outcomeUpdate(const TUser& user, TRecordChanges changes)
{
    QString statement =
        QStringLiteral("Update Users set LastLog = '") + TdmPublic::SqlEscape(user.LastLog) + QLatin1Char('\'');
    if (changes.passwords)
        statement += QStringLiteral(", pwNow = '") + TdmPublic::SqlEscape(user.pwNow) + QStringLiteral("', pwNew = '") +
                     TdmPublic::SqlEscape(user.pwNew) + QStringLiteral("', pwLastTime = ") +
                     DayNumber::Format(user.pwLastTime);
    if (changes.intent)
        statement += QStringLiteral(", pwIntent = '") + TdmPublic::SqlEscape(user.pwIntent) +
                     QStringLiteral("', pwIntentTime = ") + DayNumber::Format(user.pwIntentTime);
    if (changes.candidates)
        statement += QStringLiteral(", pwCandidates = '") + TdmPublic::SqlEscape(user.pwCandidates) + QLatin1Char('\'');
    return statement + QStringLiteral(" where uID = ") + QString::number(user.uID);
}

/// The host's own copies of user's new password: the manager's (MngPwd) when user is the host's
/// manager account, and su's (MngRootPwd) when user is root on a host that elevates with su. The
/// conditions sit in the statements, so for any other user they change nothing. A manager stored
/// without a password (a key or the agent logs it in) keeps none: one would change how it logs in.
QStringList hostPasswordUpdates(const TdmPublic& dm, const TUser& user)
{
    const QString host = QString::number(user.hID);
    QStringList statements{QStringLiteral("Update Hosts set MngPwd = '") + TdmPublic::SqlEscape(user.pwNow) +
                           QStringLiteral("' where hID = ") + host + QStringLiteral(" and MngLogin = '") +
                           TdmPublic::SqlEscape(user.LoginName) + QStringLiteral("' and MngPwd <> ''")};
    if (dm.HostAccessColumns && user.LoginName == QLatin1String("root"))
        statements << QStringLiteral("Update Hosts set MngRootPwd = '") + TdmPublic::SqlEscape(user.pwNow) +
                          QStringLiteral("' where hID = ") + host + QStringLiteral(" and MngElevation = ") +
                          QString::number(ElevationValue(TElevation::Su));
    return statements;
}

} // namespace

TSaveOutcome SaveUserRecord(TdmPublic& dm, const TUser& before, TUser& user, const QString& caption, bool success,
                            TRecordChanges changes, double opTime)
{
    changes.candidates = changes.candidates && dm.CandidatesColumn;
    bool started = false;
    try {
        dm.DBSession.StartTransaction();
        started = true;
        // Committing after a failed statement would keep a Logs row for a user row that still holds
        // the old password, so every failure here rolls everything back.
        // The Logs row shows the passwords as the step found them and the transcript it just made.
        TUser logged = before;
        logged.LastLog = user.LastLog;
        if (!AddLogRecord(dm, caption, success ? QStringLiteral("True") : QStringLiteral("False"), logged, opTime))
            throw StatementFailed();
        auto query = dm.NewQuery();
        query->SelectSQL = outcomeUpdate(user, changes);
        if (!dm.OpenQuery(*query))
            throw StatementFailed();
        // A user deleted meanwhile would take its new password with it: the log file keeps it instead.
        if (sqlite3_changes(dm.DBSession.Handle()) != 1)
            throw StatementFailed();
        // The next manager-mode batch must log in with the password the host has now.
        if (changes.passwords && user.pwNow != before.pwNow) {
            for (const QString& statement : hostPasswordUpdates(dm, user)) {
                auto hostQuery = dm.NewQuery();
                hostQuery->SelectSQL = statement;
                if (!dm.OpenQuery(*hostQuery))
                    throw StatementFailed();
            }
        }
        dm.DBSession.Commit();
        return {true, QString(), QString()};
    } catch (const std::exception&) {
        // Handled below, outside the handler, so that a failing file write can still roll back.
    }
    user.ResultText = SaveDataErrorText;
    TSaveOutcome outcome;
    try {
        outcome.logFilePath =
            WriteFallbackLogFile(dm.ExecutableDir(), user, user.LastLog, DayNumber::CurrentDateTime());
    } catch (const FallbackLogError& error) {
        // The row must not claim a log file that does not exist.
        user.ResultText = SaveAndLogFileErrorText;
        outcome.logFileError = error.message();
        if (started) {
            try {
                dm.DBSession.Rollback();
            } catch (const DatabaseError&) {
                // The file error is the one the user must act on.
            }
        }
        return outcome;
    }
    if (started)
        dm.DBSession.Rollback();
    return outcome;
}

TSaveOutcome SaveUserOutcome(TdmPublic& dm, TUser& user, const QString& caption, bool success, bool passwordChanged,
                             double opTime)
{
    const TUser before = user;
    TRecordChanges changes;
    if (passwordChanged) {
        user.pwNow = user.pwNew;
        user.pwLastTime = opTime;
        user.pwNew.clear();
        user.pwIntent.clear();
        user.pwIntentTime = DayNumber::None;
        changes.passwords = true;
        changes.intent = dm.IntentColumns;
    }
    return SaveUserRecord(dm, before, user, caption, success, changes, opTime);
}
