#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// encipher, decipher and decipher-log: the password cipher for scripts and for recovery.
class CliCipher
{
public:
    /// What the first line of a fallback log file holds, deciphered.
    struct LogIdentity
    {
        int userId = 0;
        QString login;
        QString currentPassword; ///< plain
        QString newPassword;     ///< plain
    };

    /// encipher or decipher: one text per line of standard input. Returns the exit code.
    static int runLines(bool encipher, const QStringList& arguments);
    /// decipher-log FILE. Returns the exit code; throws CliError.
    static int runDecipherLog(const QStringList& arguments);

    /// Reads the identity line of a fallback log file; nullopt when it is not one.
    static std::optional<LogIdentity> ParseLogIdentity(const QByteArray& fileContent);
};
