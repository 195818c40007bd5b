#include "core/SchemaUpgrade.h"

#include "core/DatabaseError.h"
#include "core/TDBSession.h"

#include <sqlcipher/sqlite3.h>

bool HasIntentColumns(TDBSession& session)
{
    sqlite3_stmt* raw = nullptr;
    // Preparing is enough: it fails on a missing column without reading a row.
    const int rc =
        sqlite3_prepare_v2(session.Handle(), "select pwIntent, pwIntentTime from Users limit 0", -1, &raw, nullptr);
    sqlite3_finalize(raw);
    return rc == SQLITE_OK;
}

bool UpgradeSchema(TDBSession& session)
{
    if (!session.Connected())
        return false;
    if (HasIntentColumns(session))
        return true;
    try {
        session.StartTransaction();
        try {
            session.Execute(QStringLiteral("ALTER TABLE Users ADD COLUMN pwIntent text default '';"));
            session.Execute(QStringLiteral("ALTER TABLE Users ADD COLUMN pwIntentTime real default -1;"));
            session.Commit();
        } catch (const DatabaseError&) {
            session.Rollback();
            return false;
        }
    } catch (const DatabaseError&) {
        return false;
    }
    return true;
}
