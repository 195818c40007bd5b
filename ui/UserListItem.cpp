#include "ui/UserListItem.h"

#include "core/DayNumber.h"
#include "ui/TUserListModel.h"

void UserToListItem(TUserListModel& list, int row, const TUser& user)
{
    list.BindUser(row, user, DayNumber::CurrentDateTime());
}

void ListItemToUser(const TUserListModel& list, int row, TUser& user)
{
    ClearUser(user);
    const TUser* attached = list.UserAt(row);
    if (!attached) {
        user.uID = -1;
        return;
    }
    user = *attached;
}

void FreeItemUser(TUserListModel& list, int row, bool deleteItem)
{
    list.FreeUser(row, deleteItem);
}
