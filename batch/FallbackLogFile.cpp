#include "batch/FallbackLogFile.h"

#include "core/FileExposure.h"
#include "core/PasswordCipher.h"
#include "core/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr qsizetype MaxFileNameBytes = 255;

bool unfitForFileName(QChar c)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    return c.unicode() < 0x20 || c.unicode() == 0x7F || forbidden.contains(c);
}

/// Reads the file back: only a file that holds every byte counts as kept.
bool holdsExactly(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

} // namespace

QString FallbackLogFileName(const QDateTime& time, const QString& loginName)
{
    const QString prefix = time.toString(QStringLiteral("yyyyMMddHHmmss")) + QLatin1Char('_');
    const QString suffix = QStringLiteral(".log");
    QString login;
    login.reserve(loginName.size());
    for (const QChar c : loginName)
        login += unfitForFileName(c) ? QLatin1Char('_') : c;
    // Shorten whole characters (never half a surrogate pair) until the name fits the file system.
    while ((prefix + login + suffix).toUtf8().size() > MaxFileNameBytes) {
        login.chop(1);
        if (!login.isEmpty() && login.back().isHighSurrogate())
            login.chop(1);
    }
    return prefix + login + suffix;
}

QString FallbackLogIdentityLine(const TUser& user)
{
    return EncipherPassword(QString::number(user.uID) + QLatin1Char(',') + user.LoginName + QLatin1Char(',') +
                            user.pwNow + QLatin1Char(',') + user.pwNew);
}

QString WriteFallbackLogFile(const QString& executableDir, const TUser& user, const QString& transcript,
                             const QDateTime& time)
{
    const QString folder = executableDir + QStringLiteral("/Logs");
    const QFileInfo there(folder);
    if (!there.exists() && !there.isSymLink()) {
        if (!QDir().mkpath(folder))
            throw FallbackLogError(QStringLiteral("Cannot create the folder %1 for the log file: check that the "
                                                  "folder beside the program is writable.")
                                       .arg(folder));
        RestrictToOwner(folder, true);
    }
    // Whoever else can write the folder (or made it a link) could read the file or have it written
    // over another one, which a run as root would do to any file.
    if (const QString problem = Platform::PrivateFolderProblem(folder); !problem.isEmpty())
        throw FallbackLogError(QStringLiteral("The log file is not written into %1 (%2): make it a folder of "
                                              "yours that nobody else can write to (chmod 700).")
                                   .arg(folder, problem));
    const QString path = folder + QLatin1Char('/') + FallbackLogFileName(time, user.LoginName);
    const QString crlf = QStringLiteral("\r\n");
    const QString content = FallbackLogIdentityLine(user) + crlf + QString(69, QLatin1Char('*')) + QLatin1Char('\r') +
                            crlf + transcript + crlf;

    const QByteArray bytes = content.toUtf8();
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        // The file holds the user's stored passwords (enciphered only); keep it to its owner.
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // A short write or a failed flush (a full disk) must never leave a file that counts as kept;
        // commit syncs the file to disk before it takes the final name.
        written = file.write(bytes) == bytes.size() && file.flush() && file.commit();
    }
    if (written && !holdsExactly(path, bytes)) {
        QFile::remove(path);
        written = false;
    }
    if (!written)
        throw FallbackLogError(QStringLiteral("Cannot write the log file %1 (%2): make the folder Logs beside the "
                                              "program writable and free some disk space.")
                                   .arg(path, file.errorString()));
    return path;
}
