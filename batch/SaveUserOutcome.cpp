#include "batch/SaveUserOutcome.h"

#include "batch/FallbackLogFile.h"
#include "batch/History.h"
#include "core/DatabaseError.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"

#include <stdexcept>

namespace {

/// A statement of the save step failed; OpenQuery has already shown why.
class StatementFailed : public std::runtime_error
{
public:
    StatementFailed() : std::runtime_error("statement failed") {}
};

} // namespace

TSaveOutcome SaveUserOutcome(TdmPublic& dm, TUser& user, const QString& caption, bool success, bool passwordChanged,
                             double opTime)
{
    const TUser before = user;
    if (passwordChanged) {
        user.pwNow = user.pwNew;
        user.pwLastTime = opTime;
        user.pwNew.clear();
    }

    bool started = false;
    try {
        dm.DBSession.StartTransaction();
        started = true;
        // Committing after a failed statement would keep a Logs row for a user row that still holds
        // the old password, so every failure here rolls everything back.
        if (!AddLogRecord(dm, caption, success ? QStringLiteral("True") : QStringLiteral("False"), before, opTime))
            throw StatementFailed();
        if (!dm.SaveUser(user, TSaveMode::Update))
            throw StatementFailed();
        dm.DBSession.Commit();
        return {true, QString(), QString()};
    } catch (const std::exception&) {
        // Handled below, outside the handler, so that a failing file write can still roll back.
    }

    user.ResultText = SaveDataErrorText;
    TSaveOutcome outcome;
    try {
        outcome.logFilePath =
            WriteFallbackLogFile(dm.ExecutableDir(), user, dm.GetTranscriptText(), DayNumber::CurrentDateTime());
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
