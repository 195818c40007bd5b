#pragma once

class TDBSession;

/// Brings a database written by an earlier version up to the current schema, keeping every row:
/// the Users columns pwIntent and pwIntentTime (the change in flight of each user). Returns whether
/// the database now has them; a file that cannot be written (read-only, locked past the busy wait)
/// keeps its old schema and still reads as before.
bool UpgradeSchema(TDBSession& session);

/// Whether the Users table has the change-in-flight columns.
bool HasIntentColumns(TDBSession& session);
