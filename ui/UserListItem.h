#pragma once

#include "core/Records.h"

class TUserListModel;

// The binding between a user record and a row of the user list. A row is addressed by its index;
// -1 stands for no row.

/// Shows user in the row (caption, six columns, check box cleared) and gives the row its own copy.
void UserToListItem(TUserListModel& list, int row, const TUser& user);

/// Copies the row's record into user; with no row (or a row without a record) user becomes a
/// cleared record with uID -1.
void ListItemToUser(const TUserListModel& list, int row, TUser& user);

/// Releases the row's record copy and, when deleteItem is true, deletes the row.
void FreeItemUser(TUserListModel& list, int row, bool deleteItem);
