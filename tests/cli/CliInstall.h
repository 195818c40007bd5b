#pragma once

#include "tests/support/TestEnvironment.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

/// The outcome of one veltrane-cli run.
struct CliResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

/// A throw-away installation with its own copy of veltrane-cli, so that Options.ini, the Logs
/// folder and known_hosts beside the program are this test's own.
class CliInstall
{
public:
    CliInstall();

    TestEnvironment& environment() { return m_environment; }
    QString dir() const { return m_environment.dir(); }
    QString program() const;
    QString path(const QString& name) const { return dir() + QLatin1Char('/') + name; }

    /// Runs veltrane-cli with arguments and input on standard input; waits for it to end.
    CliResult run(const QStringList& arguments, const QByteArray& input = QByteArray(), int timeoutMs = 60000);
    /// Starts veltrane-cli without waiting; the caller owns the process.
    void start(QProcess& process, const QStringList& arguments);
    /// Writes a file into the installation.
    void writeFile(const QString& name, const QByteArray& content);

private:
    TestEnvironment m_environment;
};
