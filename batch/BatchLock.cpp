#include "batch/BatchLock.h"

#include "core/Platform.h"
#include "core/VisibleText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

QString TBatchLock::LockFilePath(const QString& databasePath)
{
    return databasePath + QStringLiteral(".batch-lock");
}

namespace {

QString refusal(const QString& databasePath, const QString& holder)
{
    return QStringLiteral("Another batch that changes passwords is running on %1 (%2). Only one may run at a time, "
                          "so that no run overwrites another's passwords: wait for it to finish and start this one "
                          "again.")
        .arg(databasePath, holder);
}

} // namespace

TBatchLock::TBatchLock(const QString& databasePath, const QString& holder)
{
    // Every name of the database meets at its device and inode; its real name, once links are
    // resolved, also finds the holder's note.
    const QString canonical = QFileInfo(databasePath).canonicalFilePath();
    const QString path = LockFilePath(canonical.isEmpty() ? databasePath : canonical);
    const Platform::FileLock lock = Platform::TryLockFile(path);
    if (lock.heldElsewhere) {
        // The note comes from a file anyone who can write the folder may have put there.
        QString other = VisibleControlCharacters(QString::fromUtf8(lock.note).trimmed(), TLineBreaks::Visible);
        if (other.isEmpty())
            other = QStringLiteral("another process");
        throw BatchLockError(refusal(databasePath, other));
    }
    if (lock.handle < 0) {
        const QFileInfo there(path);
        if (there.isSymLink() || (there.exists() && !there.isFile()))
            throw BatchLockError(QStringLiteral("Cannot take the batch lock %1 (%2): remove it; only a regular file "
                                                "that this program makes may stand there.")
                                     .arg(path, lock.error));
        throw BatchLockError(QStringLiteral("Cannot take the batch lock %1 (%2): make the folder of the database "
                                            "writable.")
                                 .arg(path, lock.error));
    }
    m_handle = lock.handle;
    // Without a database file there is no identity to lock; its name is locked all the same.
    if (!canonical.isEmpty()) {
        const Platform::FileLock identity = Platform::TryLockFileIdentity(canonical);
        if (identity.handle < 0) {
            Platform::ReleaseFileLock(m_handle);
            if (identity.heldElsewhere)
                throw BatchLockError(
                    refusal(databasePath, QStringLiteral("another process, under another name of the same file")));
            throw BatchLockError(QStringLiteral("Cannot take the batch lock of %1 (%2): make the database writable.")
                                     .arg(databasePath, identity.error));
        }
        m_identity = identity.handle;
    }
    Platform::WriteLockedFile(m_handle, QStringLiteral("process %1, %2, since %3\n")
                                            .arg(QCoreApplication::applicationPid())
                                            .arg(holder, QDateTime::currentDateTime().toString(Qt::ISODate))
                                            .toUtf8());
}

TBatchLock::~TBatchLock()
{
    // Blanked first, so a note never names a process that has let go.
    Platform::WriteLockedFile(m_handle, QByteArray());
    Platform::ReleaseFileIdentityLock(m_identity);
    Platform::ReleaseFileLock(m_handle);
}
