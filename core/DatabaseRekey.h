#pragma once

#include "core/SecretBuffer.h"

class TDBSession;

/// Puts the open database of session under newPassword (empty: the built-in key) with SQLCipher's
/// own re-key, which rewrites every page in one transaction. The step either completes or leaves
/// the file as it was: the outcome is confirmed by opening the file afresh and reading every page,
/// and a file that does not read wholly under the new key must still read under the old one.
/// Afterwards the session is open on whichever key the file has. Throws DatabaseError with a
/// message for the user when the key did not change; the session may then be closed, when the file
/// opens with neither key until SQLite has restored an interrupted change.
void RekeyDatabase(TDBSession& session, const SecretBuffer& newPassword);
