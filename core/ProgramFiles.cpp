#include "core/ProgramFiles.h"

#include "core/DatabaseCreator.h"
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "core/TOptionsFile.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace ProgramFiles {

namespace {

const QString kProgramName = QStringLiteral("veltrane");

QString defaultDatabase(const QString& executableDir)
{
    return BasePath(executableDir) + QStringLiteral(".db");
}

} // namespace

QString BasePath(const QString& executableDir)
{
    return Platform::DataDir(executableDir) + QLatin1Char('/') + kProgramName;
}

Locations Find(const QString& executableDir, const QString& databaseOverride)
{
    Locations where;
    where.installed = Platform::IsInstalledCopy(executableDir);
    where.dataDir = Platform::DataDir(executableDir);
    const TOptionsFile options(BasePath(executableDir));
    where.options = options.path();
    // Relative to the working folder, as the programs open it.
    where.database =
        QFileInfo(databaseOverride.isEmpty() ? options.DatabasePath() : databaseOverride).absoluteFilePath();
    // The names the remote engine and the batch runner use in the data folder and beside the database.
    where.knownHosts = where.dataDir + QStringLiteral("/known_hosts");
    where.logs = where.dataDir + QStringLiteral("/Logs");
    where.batchLock = where.database + QStringLiteral(".batch-lock");
    where.manual = Platform::ManualDir(executableDir) + QStringLiteral("/index.html");
    return where;
}

QString PrepareFirstStart(const QString& executableDir)
{
    if (!Platform::IsInstalledCopy(executableDir))
        return QString();
    const QString dir = Platform::DataDir(executableDir);
    if (!QFileInfo(dir).isDir()) {
        // The folder holds the passwords: its owner's only, whatever the umask.
        if (!QDir().mkpath(QFileInfo(dir).absolutePath()) || ::mkdir(QFile::encodeName(dir).constData(), 0700) != 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            return QStringLiteral("Cannot create the folder %1 for the database and settings (%2): make its parent "
                                  "folder writable, or set XDG_DATA_HOME to a folder of yours.")
                .arg(dir, reason);
        }
    }
    const QString database = defaultDatabase(executableDir);
    if (TOptionsFile(BasePath(executableDir)).DatabasePath() != database || QFileInfo::exists(database))
        return QString();
    try {
        CreateDatabase(database);
    } catch (const DatabaseError& error) {
        return QStringLiteral("Cannot create the default database %1 (%2): make the folder %3 writable.")
            .arg(database, error.message(), dir);
    }
    return QString();
}

QString FolderProblem(const QString& path)
{
    return Platform::PrivateFolderProblem(path);
}

QStringList Warnings(const QString& databasePath, const TOptionsFile& options)
{
    QStringList warnings;
    const QString databaseFolder = QFileInfo(databasePath).absolutePath();
    const QString optionsFolder = QFileInfo(options.path()).absolutePath();
    QStringList folders{databaseFolder};
    if (optionsFolder != databaseFolder)
        folders << optionsFolder;
    // Another user who can write there can swap the files for his own or read what is written.
    for (const QString& folder : folders) {
        const QFileInfo info(folder);
        const QString problem = FolderProblem(folder);
        if (problem.isEmpty() || (!info.exists() && !info.isSymLink()))
            continue;
        QString what = QStringLiteral("settings");
        if (folder == databaseFolder)
            what = folders.size() == 1 ? QStringLiteral("database and settings") : QStringLiteral("database");
        warnings << QStringLiteral("The folder %1 of the %2 is not safe (%3): make it a folder of yours that "
                                   "nobody else can write to (chmod go-w).")
                        .arg(folder, what, problem);
    }
    if (const QString problem = options.ReadProblem(); !problem.isEmpty())
        warnings << problem;
    return warnings;
}

} // namespace ProgramFiles
