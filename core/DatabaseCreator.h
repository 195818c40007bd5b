#pragma once

#include <QString>

/// Creates a new encrypted database file with the six tables, the single SysParams row (no program
/// password, protection off) and the default prompt profiles. Refuses to overwrite an existing file.
/// Throws DatabaseError with a message that says what to do.
void CreateDatabase(const QString& path);
