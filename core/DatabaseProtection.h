#pragma once

#include <QString>

class TdmPublic;

// The protected mode: the database file under the program password instead of the built-in key.
// The passwords inside stay enciphered with the program's password cipher either way; only the
// key of the file changes. Errors are thrown as DatabaseError with a message for the user.

/// The longest program password (the login dialog takes no more), so the longest database password.
constexpr int MaxProgramPasswordLength = 30;

/// Why password cannot encrypt the database, or an empty text when it can.
QString DatabasePasswordProblem(const QString& password);

/// Puts dm's database under password and makes it the program password, with protection on, in one
/// step: when any part fails, the file keeps its old key and the stored program password stays.
void ProtectDatabase(TdmPublic& dm, const QString& password);

/// Returns dm's database to the built-in key; the program password and protection stay as they are.
/// Does nothing when the database already uses the built-in key.
void UnprotectDatabase(TdmPublic& dm);
