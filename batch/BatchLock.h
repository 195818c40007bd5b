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
/// at a time: an exclusive lock on a file beside the database, and one on the database's identity
/// (device and inode) so that a second name of it (a symbolic or a hard link) is refused as well.
/// Both are held while the object lives and released by the system when the process ends in any
/// way. Read-only work and test logins do not take it.
class TBatchLock
{
public:
    /// Takes the lock of the database at databasePath for holder (e.g. "veltrane-cli change-password").
    /// Throws BatchLockError, naming the other process, when it is held elsewhere, also under another
    /// name of the same database, and when the lock file is a symbolic link or no regular file.
    TBatchLock(const QString& databasePath, const QString& holder);
    ~TBatchLock();
    TBatchLock(const TBatchLock&) = delete;
    TBatchLock& operator=(const TBatchLock&) = delete;

    /// The lock file of the database at databasePath (of its real name when it is a symbolic link).
    static QString LockFilePath(const QString& databasePath);

private:
    int m_handle = -1;
    int m_identity = -1;
};
