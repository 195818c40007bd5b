#pragma once

// A tiny tmpfs that a test mounts (as root) to run out of disk space on purpose.

#include <QByteArray>
#include <QFile>
#include <QStorageInfo>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>

class SmallFileSystem
{
public:
    explicit SmallFileSystem(qint64 bytes)
    {
        const QByteArray where = QFile::encodeName(m_dir.path());
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        m_mounted = ::mount("tmpfs", where.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return m_mounted; }
    QString path(const QString& name = QString()) const
    {
        return name.isEmpty() ? m_dir.path() : m_dir.path() + QLatin1Char('/') + name;
    }
    qint64 available() const { return QStorageInfo(m_dir.path()).bytesAvailable(); }

    /// Fills the file system until at most leftBytes are free; returns false when it could not.
    bool fillLeaving(qint64 leftBytes)
    {
        QFile filler(path(QStringLiteral("filler-%1").arg(m_fillers++)));
        if (!filler.open(QIODevice::WriteOnly))
            return leftBytes >= available();
        const QByteArray block(4096, 'x');
        while (available() > leftBytes)
            if (filler.write(block.constData(), qMin<qint64>(block.size(), available() - leftBytes)) <= 0)
                break;
        filler.close();
        return available() <= leftBytes + 4096;
    }
    /// Removes every filler file.
    void makeRoom()
    {
        for (int i = 0; i < m_fillers; ++i)
            QFile::remove(path(QStringLiteral("filler-%1").arg(i)));
        m_fillers = 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    int m_fillers = 0;
};
