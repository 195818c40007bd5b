#pragma once

#include "core/Records.h"

#include <QDateTime>
#include <QString>

#include <stdexcept>

/// The log file could not be written; the message says where and why.
class FallbackLogError : public std::runtime_error
{
public:
    explicit FallbackLogError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

/// "YYYYMMDDHHNNSS_" + loginName + ".log", with every character that cannot stand in a file name
/// (on Linux or Windows) replaced by "_" and the name kept within 255 bytes.
QString FallbackLogFileName(const QDateTime& time, const QString& loginName);

/// The first line of a log file: "uID,LoginName,pwNow,pwNew" enciphered as a whole
/// (veltrane-cli decipher-log reads it back, from a log file or from a file holding just this line).
QString FallbackLogIdentityLine(const TUser& user);

/// Keeps a user's outcome when the database would not take it: writes, into the folder "Logs" of
/// executableDir (created when missing), the enciphered line "uID,LoginName,pwNow,pwNew", a line of
/// 69 asterisks ended by CR, and the transcript, each entry followed by CR LF. An existing file of the
/// same name is replaced. Only a real folder (no symbolic link) of this user's that neither group nor
/// others can write takes the file. Returns the file's path; throws FallbackLogError, naming the
/// reason, when it cannot be written.
QString WriteFallbackLogFile(const QString& executableDir, const TUser& user, const QString& transcript,
                             const QDateTime& time);
