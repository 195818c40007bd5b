#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class TUserListModel;
class TdmPublic;

// The user commands that write a group of rows in one transaction. Each returns an empty text on
// success; otherwise the transaction was rolled back and the text says what went wrong, while the
// rows handled before the failure already show the undone change.

/// Deletes the user of every checked row, last row first (its history rows too), and removes the
/// row; beforeRemoval runs just before each row goes.
QString DeleteCheckedUsers(TdmPublic& dm, TUserListModel& rows, const std::function<void()>& beforeRemoval);

/// Gives the user of every checked row, last row first, a generated new password by the settings'
/// rules (stored enciphered), shows it in the row and clears the row's check box. A user whose
/// change was started and never confirmed keeps its pending password, since the host may already
/// use it; its row stays checked and "LOGIN on HOST:PORT" is added to skipped.
QString GenerateNewPasswords(TdmPublic& dm, TUserListModel& rows, QStringList* skipped = nullptr);
