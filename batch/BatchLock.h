#pragma once

#include <QString>

#include <stdexcept>

/// Another process runs a batch that changes passwords on the same database, or the lock could not
/// be taken at all; the message says which process and what to do.
class BatchLockError : public std::runtime_error
{
public:
    explicit BatchLockError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

/// Keeps batches that change passwords (change, verify, generate) of one database to one process
/// at a time: an exclusive lock on a file beside the database, held while the object lives and
/// released by the system when the process ends in any way. Read-only work and test logins do not
/// take it.
class TBatchLock
{
public:
    /// Takes the lock of the database at databasePath for holder (e.g. "veltrane-cli change-password").
    /// Throws BatchLockError, naming the other process, when it is held elsewhere.
    TBatchLock(const QString& databasePath, const QString& holder);
    ~TBatchLock();
    TBatchLock(const TBatchLock&) = delete;
    TBatchLock& operator=(const TBatchLock&) = delete;

    /// The lock file of the database at databasePath.
    static QString LockFilePath(const QString& databasePath);

private:
    int m_handle = -1;
};
