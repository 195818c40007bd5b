#pragma once

#include <QString>

/// Whether a file that the built-in key did not open may be a database under a password of its
/// user's. SQLCipher cannot tell a wrong key from a file that is no database: both are random
/// bytes to it. So this only rules out what surely is no such database: a missing or empty file,
/// a plain SQLite file, a size that is no whole number of pages, and a first page that is not
/// random-looking (text, zeros, a document). What remains is asked for its password, and a
/// password that does not open it is refused like a wrong one.
bool MayBeUnderPassword(const QString& path);
