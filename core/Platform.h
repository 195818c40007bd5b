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
};

/// Takes an exclusive lock on the file at path (created, readable by its owner only, when missing)
/// without waiting. The system releases it when the handle is released or the process ends,
/// however it ends.
FileLock TryLockFile(const QString& path);
/// Replaces the content of a locked file (what the holder is, for whoever finds it locked).
void WriteLockedFile(int handle, const QByteArray& content);
void ReleaseFileLock(int handle);

} // namespace Platform
