#include "core/Platform.h"

#include <QDir>
#include <QFileInfo>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace Platform {

QString ExecutablePath()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return QString();
    return QString::fromLocal8Bit(buffer, n);
}

QString ExecutableDir()
{
    return QFileInfo(ExecutablePath()).absolutePath();
}

bool IsInstalledCopy(const QString& executableDir)
{
    const QDir dir(executableDir);
    return dir.dirName() == QLatin1String("bin") &&
           QFileInfo(dir.filePath(QStringLiteral("../share/veltrane/manual"))).isDir();
}

QString DataDir(const QString& executableDir)
{
    if (!IsInstalledCopy(executableDir))
        return executableDir;
    // XDG_DATA_HOME must be absolute; freedesktop.org says to ignore anything else.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/veltrane"));
}

QString ManualDir(const QString& executableDir)
{
    if (IsInstalledCopy(executableDir))
        return QDir::cleanPath(executableDir + QStringLiteral("/../share/veltrane/manual"));
    return executableDir + QStringLiteral("/manual");
}

bool AcquireSingleInstance(const QString& name)
{
    // A lock file in the user's runtime directory; the kernel drops an flock when the process ends.
    QString dir = QString::fromLocal8Bit(std::getenv("XDG_RUNTIME_DIR"));
    if (dir.isEmpty() || !QFileInfo(dir).isWritable())
        dir = QDir::tempPath();
    QString fileName = name;
    fileName.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + fileName + QStringLiteral(".lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no way to coordinate: better to run than to refuse silently forever
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // The descriptor is deliberately kept open for the life of the process.
    return true;
}

void HardenProcess()
{
    ::umask(077);
    if (qEnvironmentVariable("VELTRANE_ALLOW_CORE") == QLatin1String("1"))
        return;
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

bool IsIPv6Address(const QString& text)
{
    in6_addr parsed{};
    return ::inet_pton(AF_INET6, text.toLatin1().constData(), &parsed) == 1;
}

FileLock TryLockFile(const QString& path)
{
    FileLock lock;
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        lock.error = QString::fromLocal8Bit(std::strerror(errno));
        return lock;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            lock.heldElsewhere = true;
        else
            lock.error = QString::fromLocal8Bit(std::strerror(error));
        return lock;
    }
    lock.handle = fd;
    return lock;
}

void WriteLockedFile(int handle, const QByteArray& content)
{
    if (handle < 0 || ::ftruncate(handle, 0) != 0)
        return;
    // Only a note for a refused second batch; a failed write costs nothing but that note.
    [[maybe_unused]] const ssize_t written = ::pwrite(handle, content.constData(), content.size(), 0);
}

void ReleaseFileLock(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

} // namespace Platform
