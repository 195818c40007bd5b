#include "batch/BatchLock.h"

#include "core/Platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

QString TBatchLock::LockFilePath(const QString& databasePath)
{
    return databasePath + QStringLiteral(".batch-lock");
}

TBatchLock::TBatchLock(const QString& databasePath, const QString& holder)
{
    const QString path = LockFilePath(databasePath);
    const Platform::FileLock lock = Platform::TryLockFile(path);
    if (lock.heldElsewhere) {
        QFile file(path);
        QString other = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
        if (other.isEmpty())
            other = QStringLiteral("another process");
        throw BatchLockError(QStringLiteral("Another batch that changes passwords is running on %1 (%2). Only one "
                                            "may run at a time, so that no run overwrites another's passwords: wait "
                                            "for it to finish and start this one again.")
                                 .arg(databasePath, other));
    }
    if (lock.handle < 0)
        throw BatchLockError(QStringLiteral("Cannot take the batch lock %1 (%2): make the folder of the database "
                                            "writable.")
                                 .arg(path, lock.error));
    m_handle = lock.handle;
    Platform::WriteLockedFile(m_handle, QStringLiteral("process %1, %2, since %3\n")
                                            .arg(QCoreApplication::applicationPid())
                                            .arg(holder, QDateTime::currentDateTime().toString(Qt::ISODate))
                                            .toUtf8());
}

TBatchLock::~TBatchLock()
{
    // Emptied first, so a note never names a process that has let go.
    Platform::WriteLockedFile(m_handle, QByteArray());
    Platform::ReleaseFileLock(m_handle);
}
