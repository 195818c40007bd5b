#include "core/DatabaseRekey.h"

#include "core/DatabaseError.h"
#include "core/TDBSession.h"

#include <sqlcipher/sqlite3.h>

namespace {

/// Whether every page of the open database reads back (under its key) and holds sound b-trees.
bool readsWholly(TDBSession& session)
{
    QByteArray verdict;
    const int rc = sqlite3_exec(
        session.Handle(), "PRAGMA quick_check;",
        [](void* out, int, char** values, char**) {
            auto& text = *static_cast<QByteArray*>(out);
            if (text.isEmpty() && values[0])
                text = values[0];
            return 0;
        },
        &verdict, nullptr);
    return rc == SQLITE_OK && verdict == "ok";
}

bool opensWholly(TDBSession& session, const QString& path, const SecretBuffer& password)
{
    return session.OpenDatabaseWithPassword(path, password, false) && readsWholly(session);
}

} // namespace

void RekeyDatabase(TDBSession& session, const SecretBuffer& newPassword)
{
    sqlite3* db = session.Handle();
    // Re-opening the connection would pull a statement from under a query that still reads.
    if (session.TransactionDepth() > 0 || sqlite3_next_stmt(db, nullptr))
        throw DatabaseError(QStringLiteral("The database key cannot change in the middle of an operation; try again "
                                           "once it has ended."));
    const QString path = session.FileName();
    if (!readsWholly(session))
        throw DatabaseError(QStringLiteral("The database %1 fails its integrity check, so its key was left as it "
                                           "is; restore the database from a backup first.")
                                .arg(path));
    const SecretBuffer oldPassword(session.Password());
    const QByteArray& newKey = newPassword.isEmpty() ? TDBSession::Key : newPassword.bytes();
    const int rc = sqlite3_rekey(db, newKey.constData(), static_cast<int>(newKey.size()));
    // SQLCipher reports success even when rewriting a page failed and it rolled back, and leaves the
    // connection on the new key either way: only a fresh connection tells which key the file has.
    session.Close();
    if (rc == SQLITE_OK && opensWholly(session, path, newPassword))
        return;
    if (opensWholly(session, path, oldPassword))
        throw DatabaseError(QStringLiteral("The database key could not be changed: the file could not be rewritten "
                                           "(a full disk, a read-only file or another program holding it). The "
                                           "database is unchanged; free the file and try again."));
    session.Close();
    throw DatabaseError(QStringLiteral("Changing the database key was interrupted and %1 does not open now. Close "
                                       "the program and start it again: SQLite restores the interrupted change when "
                                       "it next opens the file, which then opens as before.")
                            .arg(path));
}
