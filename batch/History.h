#pragma once

#include "core/Records.h"

#include <QString>

class TdmPublic;

/// Inserts one row into Logs for an operation on user: the new logID is worked out by the statement
/// itself, pwNow and pwNew go in as stored (enciphered), actionTime is a day number. A failing
/// statement is shown in the "Operation Error" viewer; the result tells whether the row was written,
/// so that a caller inside a transaction can roll back instead of committing half a save.
bool AddLogRecord(TdmPublic& dm, const QString& action, const QString& done, const TUser& user, double actionTime);

/// The history block of a user: two lines of 69 asterisks framing " HostIP:HostPort - LoginName",
/// then LastLog unchanged and two closing CRs (CR only, never LF). Empty when LastLog is empty.
QString UserHistoryText(const TUser& user);
