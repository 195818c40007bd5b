#include "tools/CliRekey.h"

#include "core/DatabaseError.h"
#include "core/DatabaseProtection.h"
#include "core/PasswordRules.h"
#include "core/TdmPublic.h"
#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliDatabasePassword.h"
#include "tools/CliError.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"

int CliRekey::run(const QStringList& arguments)
{
    const QString newPasswordOption = QStringLiteral("new-password-file");
    const CliArguments args(arguments, {QStringLiteral("builtin")}, {newPasswordOption});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("rekey")));
        return ExitOk;
    }
    args.requirePositional(0, QStringLiteral("no words besides the options"));
    const bool builtin = args.has(QStringLiteral("builtin"));
    const QString passwordFile = args.value(newPasswordOption);
    if (builtin == !passwordFile.isEmpty())
        throw CliError::usage(QStringLiteral("rekey needs either --new-password-file FILE or --builtin"));

    // The new password is read and checked before the database is touched.
    QString newPassword;
    if (!builtin) {
        const SecretBuffer bytes = CliDatabasePassword::fromFile(passwordFile, QStringLiteral("new database password"));
        if (const QString problem = PasswordBytesProblem(bytes.bytes()); !problem.isEmpty())
            throw CliError::failure(problem.trimmed());
        newPassword = QString::fromUtf8(bytes.bytes());
        const QString problem = DatabasePasswordProblem(newPassword);
        if (!problem.isEmpty())
            throw CliError::failure(problem.trimmed());
    }
    TdmPublic& dm = m_context.dm();
    const QString path = m_context.databasePath();
    try {
        if (builtin) {
            if (!dm.DBSession.KeyedByPassword()) {
                CliOutput::out(QStringLiteral("%1 already uses the built-in key\n").arg(path));
                return ExitOk;
            }
            UnprotectDatabase(dm);
            CliOutput::out(
                QStringLiteral("%1 uses the built-in key again; the program password is unchanged\n").arg(path));
        } else {
            ProtectDatabase(dm, newPassword);
            CliOutput::out(
                QStringLiteral("%1 is now encrypted with the password from %2, which is the program password too\n")
                    .arg(path, passwordFile));
        }
    } catch (const DatabaseError& error) {
        throw CliError::failure(error.message());
    }
    return ExitOk;
}
