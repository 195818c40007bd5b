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

/// Header rows of the import files.
inline const QByteArray kHostsHeader = "address,port,os,manager_login,manager_password,login_as,note\r\n";
/// The header export writes for hosts: the import columns, then elevation, key and the two switches.
inline const QByteArray kHostsExportHeader = "address,port,os,manager_login,manager_password,login_as,note,elevate,"
                                             "root_password,manager_key,manager_key_passphrase,use_agent,"
                                             "legacy_algorithms\r\n";
inline const QByteArray kUsersHeader = "address,port,login,password,new_password,period,full_name,email,remark\r\n";

/// Exit code and both outputs of a run, for a failure message.
inline QString diagnostics(const CliResult& result)
{
    return QStringLiteral("exit %1\nstdout: %2\nstderr: %3").arg(result.exitCode).arg(result.out, result.err);
}

#define EXPECT_EXIT(result, code) QVERIFY2((result).exitCode == (code), qPrintable(diagnostics(result)))
