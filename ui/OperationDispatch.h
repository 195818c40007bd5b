#pragma once

#include "core/Records.h"
#include "engine/TActionStaus.h"

#include <QList>
#include <QString>

#include <functional>

class TUserListModel;
class TUserListView;
class TdmPublic;

/// Shows the runner window for one batch modally: type and options of the operation, copies of the
/// users in list order. Returns the users as the run left them once the window is closed.
using TBatchWindow =
    std::function<QList<TUser>(TOperationType type, TOperationOptions options, const QList<TUser>& users)>;

/// The number of checked rows of list; -1 when none is checked, never 0.
int CheckedCount(const TUserListModel& list);

/// The confirmation question of an operation type, e.g. "Are you sure to test login? "; empty for a
/// code that is no operation.
QString ConfirmationQuestion(TOperationType type);

/// Runs one batch over the checked users of list (or over the selected row alone when none is
/// checked): asks for confirmation before a batch of more than one user when the type's setting
/// says so, shows the runner window, then refreshes and unchecks every checked row whose user came
/// back, and shows the selected user's history again.
void RunOperation(TdmPublic& dm, TOperationType type, TUserListView& list, TOperationOptions options,
                  const TBatchWindow& window);
