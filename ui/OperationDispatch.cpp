#include "ui/OperationDispatch.h"

#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/TUserListModel.h"
#include "ui/TUserListView.h"
#include "ui/UserListItem.h"

int CheckedCount(const TUserListModel& list)
{
    int checked = 0;
    for (int row = 0; row < list.rowCount(); ++row)
        if (list.IsChecked(row))
            ++checked;
    return checked == 0 ? -1 : checked;
}

QString ConfirmationQuestion(TOperationType type)
{
    switch (type) {
    case otTestLogin:
        return QStringLiteral("Are you sure to test login? ");
    case otChangePassword:
        return QStringLiteral("Are you sure to change password? ");
    case otSendMail:
        return QStringLiteral("Are you sure to send e-mail? ");
    case otVerifyPassword:
        return QStringLiteral("Are you sure to verify password? ");
    }
    return QString();
}

namespace {

bool ConfirmationWanted(const TdmPublic& dm, TOperationType type)
{
    switch (type) {
    case otTestLogin:
        return dm.OptionsFile.TestLogin();
    case otChangePassword:
        return dm.OptionsFile.ChangePassword();
    case otSendMail:
        return dm.OptionsFile.SendMail();
    case otVerifyPassword:
        return dm.OptionsFile.VerifyPassword();
    }
    return false;
}

// Asks before a batch of several users; false when the batch must not run.
bool Confirmed(const TdmPublic& dm, TOperationType type)
{
    const QString question = ConfirmationQuestion(type);
    if (question.isEmpty()) {
        MsgBox(QStringLiteral("Nonsupport function    "), QStringLiteral("Information"), StyleInformation);
        return false;
    }
    if (!ConfirmationWanted(dm, type))
        return true;
    return MsgBoxYes(question, QStringLiteral("Confirm"), StyleConfirm);
}

} // namespace

void RunOperation(TdmPublic& dm, TOperationType type, TUserListView& list, TOperationOptions options,
                  const TBatchWindow& window)
{
    TUserListModel& rows = list.Model();
    int count = CheckedCount(rows);
    if (count == -1) {
        const int selected = list.SelectedRow();
        if (selected < 0)
            return;
        rows.SetChecked(selected, true);
        count = 1;
    }
    if (count > 1 && !Confirmed(dm, type))
        return;

    QList<TUser> users;
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (!rows.IsChecked(row))
            continue;
        TUser user;
        ListItemToUser(rows, row, user);
        users.append(user);
    }
    const QList<TUser> after = window(type, options, users);

    // Matched by uID, so a row keeps its check box only when its user did not come back.
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (!rows.IsChecked(row))
            continue;
        const TUser* user = rows.UserAt(row);
        if (!user)
            continue;
        for (const TUser& updated : after) {
            if (updated.uID == user->uID) {
                UserToListItem(rows, row, updated);
                break;
            }
        }
    }
    list.NotifySelectedItem();
}
