#pragma once

#include <QString>

/// The few services that differ between operating systems. One source file per platform.
namespace Platform {

/// Full path of the running executable.
QString ExecutablePath();

/// Directory that holds the running executable, without a trailing separator.
QString ExecutableDir();

/// Whether the program in executableDir is an installed copy: that folder is a "bin" beside a
/// "share/veltrane/manual", as cmake --install and the Debian package lay it out. Such a folder
/// (/usr/bin, say) is shared by every user and seldom writable, so the files go elsewhere.
bool IsInstalledCopy(const QString& executableDir);

/// Folder of the program's own files (database, Options.ini, known_hosts, Logs): for an installed
/// copy $XDG_DATA_HOME/veltrane (~/.local/share/veltrane when that is unset or not absolute), for the
/// build tree and portable copies executableDir itself.
QString DataDir(const QString& executableDir);

/// Folder of the HTML user manual: share/veltrane/manual beside an installed copy's bin, otherwise
/// "manual" inside executableDir (the build tree copies it there; so may a portable copy).
QString ManualDir(const QString& executableDir);

/// Takes the system-wide named guard that keeps a second instance from running. Returns false
/// when another process holds it. The guard stays held until the process ends; the system
/// releases it then, however the process ends.
bool AcquireSingleInstance(const QString& name);

/// Called first thing by both programs: files and folders they create are their owner's only
/// (umask 077), and no core dump or debugger attach exposes the passwords in memory (unless the
/// environment sets VELTRANE_ALLOW_CORE=1, for debugging).
void HardenProcess();

/// Whether text is an IPv6 address in its textual form (no brackets, no port).
bool IsIPv6Address(const QString& text);

/// The outcome of TryLockFile.
struct FileLock
{
    int handle = -1;            ///< >= 0 when the lock is held
    bool heldElsewhere = false; ///< another process holds it
    QString error;              ///< why the file could not be locked at all
    QByteArray note;            ///< when held elsewhere by TryLockFile: the start of the file
};

/// Takes an exclusive lock on the file at path (created, readable by its owner only, when missing)
/// without waiting. A symbolic link or anything but a regular file there is refused, and the file is
/// never truncated. When another process holds it, error is empty and note holds the start of the
/// file (what that holder wrote). The system releases the lock when the handle is released or the
/// process ends, however it ends.
FileLock TryLockFile(const QString& path);
/// Writes content over the start of a locked file, padded with blanks to a fixed size so that no
/// truncation is needed (what the holder is, for whoever finds it locked). Only into a file of this
/// user with no other name; anything else keeps its bytes.
void WriteLockedFile(int handle, const QByteArray& content);
void ReleaseFileLock(int handle);

/// Takes an exclusive lock on the identity (device and inode) of the existing file at path, so that
/// every name of the file (a symbolic link, a hard link) shares it, in this process too. The file
/// itself is neither written nor closed: closing a descriptor of a database would drop the locks
/// that SQLite holds on it in this process. Release with ReleaseFileIdentityLock.
FileLock TryLockFileIdentity(const QString& path);
void ReleaseFileIdentityLock(int handle);

/// Why the folder at path is no safe place for this user's secrets, or empty text when it is a real
/// folder (not a symbolic link) owned by this user and not writable by group or others. A missing
/// folder gives "it does not exist".
QString PrivateFolderProblem(const QString& path);

/// The outcome of ReadRegularFile.
struct SmallFile
{
    bool exists = false; ///< something is at the path
    QByteArray content;  ///< the whole file, when problem is empty
    QString problem;     ///< why it was not read ("it is a named pipe, not a regular file", ...)
};

/// Reads the whole file at path without ever blocking: a named pipe, a device or a file larger than
/// maxBytes is not read, and problem says why.
SmallFile ReadRegularFile(const QString& path, qint64 maxBytes);

} // namespace Platform
