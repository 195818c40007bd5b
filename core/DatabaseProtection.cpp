#include "core/DatabaseProtection.h"

#include "core/DatabaseError.h"
#include "core/DatabaseRekey.h"
#include "core/PasswordCipher.h"
#include "core/PasswordRules.h"
#include "core/TdmPublic.h"

QString DatabasePasswordProblem(const QString& password)
{
    if (password.isEmpty())
        return QStringLiteral("The database cannot be encrypted with an empty password: set a program password "
                              "first (Change Password...).");
    if (const QString problem = PasswordProblem(password); !problem.isEmpty())
        return problem;
    if (password.size() > MaxProgramPasswordLength)
        return QStringLiteral("The password is longer than %1 characters, more than the login dialog takes: choose "
                              "a shorter one.")
            .arg(MaxProgramPasswordLength);
    // It would open the file as the built-in key does, so the file would not count as protected.
    if (password.toUtf8() == TDBSession::Key)
        return QStringLiteral("This password cannot encrypt the database: choose another one.");
    return QString();
}

void ProtectDatabase(TdmPublic& dm, const QString& password)
{
    const QString problem = DatabasePasswordProblem(password);
    if (!problem.isEmpty())
        throw DatabaseError(problem);
    TDBSession& session = dm.DBSession;
    session.Handle();
    const SecretBuffer oldPassword(session.Password());
    RekeyDatabase(session, SecretBuffer(password));
    try {
        session.Execute(QStringLiteral("update SysParams set UserPass='%1', EnablePWD='1'")
                            .arg(TdmPublic::SqlEscape(EncipherPassword(password))));
    } catch (const DatabaseError& error) {
        // The file would open only with a password the login dialog no longer knows of: take the
        // key back, so that nothing of the step remains.
        try {
            RekeyDatabase(session, oldPassword);
        } catch (const DatabaseError& undo) {
            throw DatabaseError(QStringLiteral("The program password could not be stored (%1), and the database "
                                               "stays encrypted with the new password: %2")
                                    .arg(error.message(), undo.message()));
        }
        throw DatabaseError(QStringLiteral("The program password could not be stored (%1), so the database keeps "
                                           "its old key; try again.")
                                .arg(error.message()));
    }
}

void UnprotectDatabase(TdmPublic& dm)
{
    TDBSession& session = dm.DBSession;
    session.Handle();
    if (!session.KeyedByPassword())
        return;
    RekeyDatabase(session, SecretBuffer());
}
