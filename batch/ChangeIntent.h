#pragma once

#include "core/Records.h"

#include <QList>

class TdmPublic;

/// Reads the password fields of user's row (pwNow, pwNew, pwLastTime, pwIntent, pwIntentTime) into
/// user, so a batch step works on what the database holds now, not on what a list loaded earlier
/// (another run may have changed the password since). Returns false, leaving user as it was, when the
/// row cannot be read or is gone.
bool RefreshPasswords(TdmPublic& dm, TUser& user);

/// Commits, in a transaction of its own, that user's change to user.pwNew is about to go out:
/// pwIntent := pwNew, pwIntentTime := time, and pwNew in front of the candidates, also in user. Throws DatabaseError
/// saying why when it cannot be stored; the change must then not be started.
void RecordChangeIntent(TdmPublic& dm, TUser& user, double time);

/// Forgets the change in flight of user uID and the passwords sent before: for when the administrator
/// states the current password by hand. Returns whether the statement ran (a failure is already shown).
bool DropChangeIntent(TdmPublic& dm, int uID);

/// Every user whose row carries an open intent, with HostIP and HostPort, in uID order; empty when
/// the database cannot tell.
QList<TUser> UsersWithOpenIntent(TdmPublic& dm);

/// The line that marks a user with an open intent wherever users are shown.
QString OpenIntentText(const TUser& user);
