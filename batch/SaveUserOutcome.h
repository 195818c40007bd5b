#pragma once

#include "core/Records.h"

#include <QString>

class TdmPublic;

/// The text a user's row shows when its outcome went to the log file instead of the database.
inline const QString SaveDataErrorText = QStringLiteral("Save data error, logfile instead.");

/// Where one user's outcome was kept.
struct TSaveOutcome
{
    bool saved = false;  ///< committed to the database
    QString logFilePath; ///< the fallback log file, when not saved
};

/// Records one user's outcome in its own transaction: the Logs row (passwords as they were before
/// the operation), then, after a changed password, pwNow := pwNew, pwLastTime := opTime, pwNew :=
/// empty, then the user's row. The swap is made in user even when saving fails, because the host
/// already has the new password.
///
/// Any failure (begin, a statement, commit) rolls the whole transaction back, so the Logs row and
/// the user's row are written together or not at all; user.ResultText then becomes
/// "Save data error, logfile instead." and the fallback log file is written beside the executable.
/// Throws FallbackLogError when even that file cannot be written (after rolling back), and
/// DatabaseError when the rollback itself fails.
TSaveOutcome SaveUserOutcome(TdmPublic& dm, TUser& user, const QString& caption, bool success, bool passwordChanged,
                             double opTime);
