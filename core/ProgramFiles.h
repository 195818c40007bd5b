#pragma once

#include <QString>
#include <QStringList>

class TOptionsFile;

/// Where both programs keep their files. The data module is given BasePath() as if the program
/// lived there, so Options.ini, the default database, known_hosts and Logs all land in the data
/// folder of Platform::DataDir: beside the executable, or per user for an installed copy.
namespace ProgramFiles {

/// <data folder>/veltrane for the program in executableDir.
QString BasePath(const QString& executableDir);

/// Every file of one data folder, as veltrane-cli paths prints them.
struct Locations
{
    bool installed = false;
    QString dataDir;
    QString options;
    QString database;
    QString knownHosts;
    QString logs;
    QString batchLock;
    QString manual;
};
/// The files for the program in executableDir; databaseOverride (--db) replaces the DataPath setting.
Locations Find(const QString& executableDir, const QString& databaseOverride = QString());

/// The first start of an installed copy: creates the data folder (its owner's only) and, when the
/// settings name no other database and there is none yet, the default database, so that a program
/// started from the desktop menu finds one. Leaves the build tree and portable copies alone (there
/// run.sh and init-db make the database). Returns what went wrong and what to do, or empty text.
QString PrepareFirstStart(const QString& executableDir);

/// Why the folder at path is no safe place for the program's files, or empty text: it must be a
/// real folder (not a symbolic link) owned by this user that neither group nor others can write.
QString FolderProblem(const QString& path);

/// One line each about where a run keeps its files, for the GUI's status line and the CLI's
/// stderr (warnings, nothing is refused): the folder of databasePath and the folder of the settings
/// file when FolderProblem finds one, and a settings file that is not read.
QStringList Warnings(const QString& databasePath, const TOptionsFile& options);

} // namespace ProgramFiles
