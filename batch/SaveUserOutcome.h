#pragma once

#include "batch/FallbackLogFile.h"
#include "core/Records.h"

#include <QString>

class TdmPublic;

/// The text a user's row shows when its outcome went to the log file instead of the database.
inline const QString SaveDataErrorText = QStringLiteral("Save data error, logfile instead.");
/// The text a user's row shows when neither the database nor the log file took its outcome.
inline const QString SaveAndLogFileErrorText = QStringLiteral("Save data error, logfile failed too.");

/// Where one user's outcome was kept.
struct TSaveOutcome
{
    bool saved = false;   ///< committed to the database
    QString logFilePath;  ///< the fallback log file, when not saved
    QString logFileError; ///< why not even the log file could be written; the outcome is kept nowhere
};

/// A user's outcome went neither to the database nor to a log file. The batch stops at this user, so
/// that no further password changes where it could not be kept; user is the record as it stands
/// in memory, which is now the only place that holds the host's password.
class UnsavedOutcomeError : public FallbackLogError
{
public:
    UnsavedOutcomeError(const QString& message, TUser user, bool passwordChanged)
        : FallbackLogError(message), m_user(std::move(user)), m_passwordChanged(passwordChanged)
    {
    }
    const TUser& user() const { return m_user; }
    bool passwordChanged() const { return m_passwordChanged; }

private:
    TUser m_user;
    bool m_passwordChanged;
};

/// Records one user's outcome in its own transaction: the Logs row (passwords as they were before
/// the operation), then, after a changed password, pwNow := pwNew, pwLastTime := opTime, pwNew :=
/// empty, then the user's row. The swap is made in user even when saving fails, because the host
/// already has the new password.
///
/// Any failure (begin, a statement, commit) rolls the whole transaction back, so the Logs row and
/// the user's row are written together or not at all; user.ResultText then becomes
/// "Save data error, logfile instead." and the fallback log file is written beside the executable.
/// When even that file cannot be written, the transaction is rolled back, user.ResultText becomes
/// "Save data error, logfile failed too." and logFileError says why. Throws DatabaseError when the
/// rollback after a written log file fails.
TSaveOutcome SaveUserOutcome(TdmPublic& dm, TUser& user, const QString& caption, bool success, bool passwordChanged,
                             double opTime);
