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
#include <mutex>
#include <vector>

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

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

/// "a named pipe", "a folder", ...: what is at a path instead of a regular file.
QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    return QStringLiteral("a special file");
}

QString notRegular(mode_t mode)
{
    return QStringLiteral("it is %1, not a regular file").arg(kindOf(mode));
}

QString tooLarge(qint64 maxBytes)
{
    constexpr qint64 megabyte = 1024 * 1024;
    return maxBytes % megabyte == 0 ? QStringLiteral("it is larger than %1 MB").arg(maxBytes / megabyte)
                                    : QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
}

/// The note of a lock file is this long, blanks after the text, so that a shorter note never needs
/// the file truncated.
constexpr qsizetype LockNoteSize = 512;

/// Far beyond the bytes SQLite locks and any size a database reaches, so the lock on a database's
/// identity never meets the engine's own locks, in this process or another.
constexpr off_t IdentityLockOffset = 0x7FFFFFFF00000000;

struct ParkedDescriptor
{
    dev_t device;
    ino_t inode;
    int fd;
};

/// Descriptors of databases whose identity lock was released. They stay open for the life of the
/// process: closing one would drop every lock SQLite holds on that file in this process.
std::mutex g_parkedMutex;
std::vector<ParkedDescriptor> g_parked;

void park(int fd)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        return; // cannot happen for an open descriptor; better to leak it than to close it
    const std::lock_guard<std::mutex> guard(g_parkedMutex);
    g_parked.push_back({st.st_dev, st.st_ino, fd});
}

int unpark(dev_t device, ino_t inode)
{
    const std::lock_guard<std::mutex> guard(g_parkedMutex);
    for (auto it = g_parked.begin(); it != g_parked.end(); ++it) {
        if (it->device == device && it->inode == inode) {
            const int fd = it->fd;
            g_parked.erase(it);
            return fd;
        }
    }
    return -1;
}

bool setIdentityLock(int fd, short type)
{
    struct flock range
    {
    };
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = IdentityLockOffset;
    range.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &range) == 0;
}

} // namespace

FileLock TryLockFile(const QString& path)
{
    FileLock lock;
    const QByteArray encoded = QFile::encodeName(path);
    // Neither following a link nor truncating: a link or a second name planted there must not let a
    // run as root empty or overwrite the file it leads to.
    const int fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        const int error = errno;
        lock.error = error == ELOOP ? QStringLiteral("it is a symbolic link") : errnoText(error);
        return lock;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        lock.error = notRegular(st.st_mode);
        ::close(fd);
        return lock;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            lock.heldElsewhere = true;
            lock.note.resize(LockNoteSize);
            const ssize_t n = ::pread(fd, lock.note.data(), LockNoteSize, 0);
            lock.note.resize(n > 0 ? n : 0);
        } else {
            lock.error = errnoText(error);
        }
        ::close(fd);
        return lock;
    }
    lock.handle = fd;
    return lock;
}

void WriteLockedFile(int handle, const QByteArray& content)
{
    struct stat st
    {
    };
    // A file of another user's, or one with a second name, may be anything but our lock file.
    if (handle < 0 || ::fstat(handle, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid())
        return;
    QByteArray note = content.left(LockNoteSize);
    note.append(LockNoteSize - note.size(), ' ');
    // Only a note for a refused second batch; a failed write costs nothing but that note.
    [[maybe_unused]] const ssize_t written = ::pwrite(handle, note.constData(), note.size(), 0);
}

void ReleaseFileLock(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

FileLock TryLockFileIdentity(const QString& path)
{
    FileLock lock;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat named
    {
    };
    if (::stat(encoded.constData(), &named) != 0) {
        lock.error = errnoText(errno);
        return lock;
    }
    if (!S_ISREG(named.st_mode)) {
        lock.error = notRegular(named.st_mode);
        return lock;
    }
    int fd = unpark(named.st_dev, named.st_ino);
    if (fd < 0) {
        // A write lock needs a descriptor open for writing; nothing is ever written through it.
        fd = ::open(encoded.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            lock.error = errnoText(errno);
            return lock;
        }
    }
    if (!setIdentityLock(fd, F_WRLCK)) {
        const int error = errno;
        park(fd);
        if (error == EAGAIN || error == EACCES)
            lock.heldElsewhere = true;
        else
            lock.error = errnoText(error);
        return lock;
    }
    lock.handle = fd;
    return lock;
}

void ReleaseFileIdentityLock(int handle)
{
    if (handle < 0)
        return;
    setIdentityLock(handle, F_UNLCK);
    park(handle);
}

QString PrivateFolderProblem(const QString& path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("it does not exist") : errnoText(errno);
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("it is a symbolic link, not a real folder");
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("it is %1, not a folder").arg(kindOf(st.st_mode));
    if (st.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user (uid %1)").arg(st.st_uid);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("other users can write to it");
    return QString();
}

SmallFile ReadRegularFile(const QString& path, qint64 maxBytes)
{
    SmallFile file;
    // Non-blocking, so that a named pipe with no writer cannot hold up the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        file.exists = error != ENOENT && error != ENOTDIR;
        if (file.exists)
            file.problem = errnoText(error);
        return file;
    }
    file.exists = true;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        file.problem = errnoText(errno);
    else if (!S_ISREG(st.st_mode))
        file.problem = notRegular(st.st_mode);
    else if (st.st_size > maxBytes)
        file.problem = tooLarge(maxBytes);
    if (!file.problem.isEmpty()) {
        ::close(fd);
        return file;
    }
    // Read to the end, not to the size fstat gave: a file that grew since is caught all the same.
    QByteArray bytes;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            file.problem = errnoText(errno);
        if (n <= 0)
            break;
        bytes.append(chunk, n);
        if (bytes.size() > maxBytes) {
            file.problem = tooLarge(maxBytes);
            break;
        }
    }
    ::close(fd);
    if (file.problem.isEmpty())
        file.content = std::move(bytes);
    return file;
}

} // namespace Platform
