#include "ui/UserListCommands.h"

#include "batch/ChangeIntent.h"

#include "core/DatabaseError.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "engine/PasswordGenerator.h"
#include "ui/TUserListModel.h"
#include "ui/UserListItem.h"

namespace {

// Runs work for every checked row, last row first, inside one transaction.
QString ForCheckedRowsInTransaction(TdmPublic& dm, TUserListModel& rows, const std::function<void(int)>& work)
{
    try {
        dm.DBSession.StartTransaction();
        for (int row = rows.rowCount() - 1; row >= 0; --row)
            if (rows.IsChecked(row))
                work(row);
        dm.DBSession.Commit();
        return QString();
    } catch (const std::exception& error) {
        try {
            dm.DBSession.Rollback();
        } catch (const std::exception&) {
            // The engine has ended the transaction itself; there is nothing left to undo.
        }
        return QString::fromStdString(error.what());
    }
}

} // namespace

QString DeleteCheckedUsers(TdmPublic& dm, TUserListModel& rows, const std::function<void()>& beforeRemoval)
{
    return ForCheckedRowsInTransaction(dm, rows, [&](int row) {
        TUser user;
        ListItemToUser(rows, row, user);
        // A statement that failed must not be committed with the others.
        if (!dm.SaveUser(user, TSaveMode::Delete))
            throw DatabaseError(QStringLiteral("The user %1 could not be deleted, so no user was deleted. "
                                               "Check the database and try again.")
                                    .arg(user.LoginName));
        if (beforeRemoval)
            beforeRemoval();
        FreeItemUser(rows, row, true);
    });
}

QString GenerateNewPasswords(TdmPublic& dm, TUserListModel& rows, QStringList* skipped)
{
    const TOptionsFile& options = dm.OptionsFile;
    return ForCheckedRowsInTransaction(dm, rows, [&](int row) {
        TUser user;
        ListItemToUser(rows, row, user);
        // The row may be older than the stored passwords (another run changed them since).
        RefreshPasswords(dm, user);
        if (user.HasOpenIntent()) {
            if (skipped)
                skipped->prepend(user.LoginName + QStringLiteral(" on ") + user.HostIP + QLatin1Char(':') +
                                 QString::number(user.HostPort));
            return;
        }
        QString plain = GeneratePassword(options.PassNumber(), options.PassSpechar(), options.PassLength());
        user.pwNew = EncipherPassword(plain);
        plain.fill(QChar(u'\0'));
        if (!dm.SaveUser(user, TSaveMode::Update))
            throw DatabaseError(QStringLiteral("The new password of %1 could not be stored, so no new password was "
                                               "stored. Check the database and try again.")
                                    .arg(user.LoginName));
        UserToListItem(rows, row, user);
    });
}
