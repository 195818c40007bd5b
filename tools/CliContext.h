#pragma once

#include "tools/CliUiServices.h"

#include <QString>

#include <memory>

class TdmPublic;

/// What every command shares: the screen services, the --db choice and the data module, which
/// is opened on first use exactly as the GUI program opens it.
class CliContext
{
public:
    /// databaseOverride: the --db PATH, or empty for the DataPath of Options.ini. passwordFile: the
    /// --db-password-file FILE, read only when the database turns out to be under a password.
    explicit CliContext(const QString& databaseOverride, const QString& passwordFile = QString());
    ~CliContext();
    CliContext(const CliContext&) = delete;
    CliContext& operator=(const CliContext&) = delete;

    /// Where the data module is placed as if the GUI program lived there: Options.ini, Logs and
    /// known_hosts live beside it, in the data folder of both programs.
    QString executablePath() const;
    /// The database the commands work on.
    QString databasePath() const;
    /// The data module on that database; throws a CliError that says how to fix a missing,
    /// foreign or locked file, or a wrong password.
    TdmPublic& dm();
    CliUiServices& ui() { return m_ui; }

    /// Hosts a batch works on at once: --parallel N, else [Options] ParallelHosts.
    int parallelHosts();
    void setParallelHosts(int hosts) { m_parallelHosts = hosts; }

    /// Ends the command after a statement failed: one line naming what was not done and why.
    [[noreturn]] void statementFailed(const QString& whatWasNotDone);

private:
    CliUiServices m_ui;
    QString m_databaseOverride;
    QString m_passwordFile;
    int m_parallelHosts = 0;
    std::unique_ptr<TdmPublic> m_dm;
};
