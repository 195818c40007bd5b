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

/// Which fields of the user's row a step changed besides LastLog.
struct TRecordChanges
{
    bool passwords = false;  ///< pwNow, pwNew and pwLastTime
    bool intent = false;     ///< pwIntent and pwIntentTime (the change in flight was resolved or dropped)
    bool candidates = false; ///< pwCandidates (a check found which sent password the host has)
};

/// Records one user's outcome in its own transaction: the Logs row from before (the record as the
/// step found it), then the fields of user's row that the step owns: LastLog always, and the
/// passwords and the intent as changes says. Fields the step did not touch are not written, so an
/// edit another program made meanwhile (a name, an e-mail address) survives. A new pwNow of the
/// host's manager account (LoginName equal to its MngLogin) also becomes the host's MngPwd, unless the
/// host stores no manager password; a new pwNow of root on a host that elevates with su becomes its
/// MngRootPwd; both in the same transaction.
///
/// Any failure (begin, a statement, a row that is gone, commit) rolls the whole transaction back,
/// so the Logs row and the user's row are written together or not at all; user.ResultText then
/// becomes "Save data error, logfile instead." and the fallback log file is written beside the
/// executable. When even that file cannot be written, user.ResultText becomes
/// "Save data error, logfile failed too." and logFileError says why. Throws DatabaseError when the
/// rollback after a written log file fails.
TSaveOutcome SaveUserRecord(TdmPublic& dm, const TUser& before, TUser& user, const QString& caption, bool success,
                            TRecordChanges changes, double opTime);

/// SaveUserRecord for a step that changed nothing but, after a changed password, pwNow := pwNew,
/// pwLastTime := opTime, pwNew := empty and the intent cleared. The swap is made in user even when
/// saving fails, because the host already has the new password.
TSaveOutcome SaveUserOutcome(TdmPublic& dm, TUser& user, const QString& caption, bool success, bool passwordChanged,
                             double opTime);
