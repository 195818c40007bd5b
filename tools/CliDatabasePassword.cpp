#include "tools/CliDatabasePassword.h"

#include "tools/CliError.h"
#include "tools/CliSecrets.h"

#include <QFile>

namespace CliDatabasePassword {

namespace {

/// Longer than any password the program takes; a longer first line is no password file.
constexpr qint64 MaxLineLength = 4096;

} // namespace

SecretBuffer fromFile(const QString& path, const QString& what)
{
    // Unbuffered: no copy of the password stays behind in a buffer that is never wiped.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw CliError::failure(QStringLiteral("cannot read the %1 from %2 (%3): name a readable file that holds it "
                                               "on its first line")
                                    .arg(what, path, file.errorString()));
    QByteArray text = file.readLine(MaxLineLength + 1);
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    SecretBuffer password(std::move(text));
    if (password.isEmpty())
        throw CliError::failure(
            QStringLiteral("the first line of %1 is empty: write the %2 on the first line of the file")
                .arg(path, what));
    return password;
}

SecretBuffer obtain(const QString& passwordFile, const QString& databasePath)
{
    if (!passwordFile.isEmpty())
        return fromFile(passwordFile, QStringLiteral("database password"));
    CliSecrets terminal;
    if (!terminal.fromTerminal())
        throw CliError::failure(QStringLiteral("the database %1 does not open with the built-in key: it is encrypted "
                                               "with a password of its own, or its file is damaged (then restore it "
                                               "from a backup); name a file that holds the password with "
                                               "--db-password-file FILE, or run on a terminal to type it")
                                    .arg(databasePath));
    return terminal.optional(QStringLiteral("Password of the database %1").arg(databasePath));
}

} // namespace CliDatabasePassword
