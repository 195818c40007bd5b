#pragma once

#include <QString>

#include <stdexcept>

/// Process exit codes of veltrane-cli that scripts rely on.
enum CliExitCode : int
{
    ExitOk = 0,      ///< the command did everything it was asked
    ExitFailure = 1, ///< a user failed, a row was refused, the database said no
    ExitUsage = 2,   ///< the command line itself is wrong
};

/// A command that cannot go on. The message is one line that tells the user what to do next.
class CliError : public std::runtime_error
{
public:
    CliError(const QString& message, int exitCode) : std::runtime_error(message.toStdString()), m_exitCode(exitCode) {}
    QString message() const { return QString::fromStdString(what()); }
    int exitCode() const { return m_exitCode; }

    /// A wrong command line (exit 2); "see --help" is added when printed.
    static CliError usage(const QString& message) { return CliError(message, ExitUsage); }
    /// A refused or failed command (exit 1).
    static CliError failure(const QString& message) { return CliError(message, ExitFailure); }

private:
    int m_exitCode;
};
