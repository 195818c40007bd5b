#include "tools/CliContext.h"

#include "core/FileExposure.h"
#include "tools/CliOutput.h"

#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "core/ProgramFiles.h"
#include "core/TdmPublic.h"
#include "tools/CliDatabasePassword.h"
#include "tools/CliError.h"

#include <QFileInfo>

CliContext::CliContext(const QString& databaseOverride, const QString& passwordFile)
    : m_databaseOverride(databaseOverride), m_passwordFile(passwordFile)
{
}

CliContext::~CliContext() = default;

QString CliContext::executablePath() const
{
    return ProgramFiles::BasePath(Platform::ExecutableDir());
}

QString CliContext::databasePath() const
{
    if (!m_databaseOverride.isEmpty())
        return m_databaseOverride;
    return TOptionsFile(executablePath()).DatabasePath();
}

TdmPublic& CliContext::dm()
{
    if (m_dm)
        return *m_dm;
    if (m_databaseOverride.isEmpty()) {
        if (const QString problem = ProgramFiles::PrepareFirstStart(Platform::ExecutableDir()); !problem.isEmpty())
            throw CliError::failure(problem);
    }
    const QString path = databasePath();
    if (!QFileInfo::exists(path))
        throw CliError::failure(
            QStringLiteral("no database at %1: create one with 'veltrane-cli init-db %1' or name it with --db PATH")
                .arg(path));
    // The data module reports a failed open through the screen; the reason is asked for below instead.
    m_ui.setQuiet(true);
    auto dm = std::make_unique<TdmPublic>(executablePath(), path);
    m_ui.setQuiet(false);
    m_ui.resetFailure();
    if (dm->NeedsDatabasePassword()) {
        if (!dm->OpenWithPassword(CliDatabasePassword::obtain(m_passwordFile, path))) {
            if (!dm->DBSession.KeyRefused())
                throw CliError::failure(
                    QStringLiteral("cannot open the database %1: another program may hold it; try again").arg(path));
            throw CliError::failure(
                QStringLiteral("the password does not open the database %1 (or its file is damaged, "
                               "or it is no Veltrane database); nothing was changed: give the "
                               "right password, or restore the file from a backup")
                    .arg(path));
        }
    } else if (!dm->DBSession.Connected()) {
        QString reason;
        try {
            dm->DBSession.OpenDatabase(path, true);
        } catch (const DatabaseError& error) {
            reason = error.message();
        }
        if (CliUiServices::IsLockedMessage(reason))
            throw CliError::failure(CliUiServices::DatabaseFailureLine(reason));
        if (!dm->DBSession.Connected() && TDBSession::IsDiskFullMessage(reason))
            throw CliError::failure(
                QStringLiteral("cannot open the database %1 (%2): free some disk space and run the command again")
                    .arg(path, reason));
        if (!dm->DBSession.Connected())
            throw CliError::failure(QStringLiteral("cannot open the database %1 (%2): check that it is a Veltrane "
                                                   "database, or create one with 'veltrane-cli init-db PATH'")
                                        .arg(path, reason));
        // It opened on the second try (the other program let go meanwhile).
        dm->BringSchemaUpToDate();
    }
    if (const QString warning = FileExposureWarning(path); !warning.isEmpty())
        CliOutput::error(warning);
    for (const QString& warning : ProgramFiles::Warnings(path, dm->OptionsFile))
        CliOutput::error(warning);
    m_dm = std::move(dm);
    return *m_dm;
}

void CliContext::statementFailed(const QString& whatWasNotDone)
{
    const QString reason = m_ui.lastDatabaseError();
    m_ui.resetFailure();
    if (reason.isEmpty())
        throw CliError::failure(whatWasNotDone);
    throw CliError::failure(whatWasNotDone + QStringLiteral(": ") + CliUiServices::DatabaseFailureLine(reason));
}

int CliContext::parallelHosts()
{
    return m_parallelHosts > 0 ? m_parallelHosts : dm().OptionsFile.ParallelHosts();
}
