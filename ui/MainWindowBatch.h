#pragma once

#include "core/Records.h"
#include "engine/TActionStaus.h"

#include <QList>

#include <memory>

class QWidget;
class TBatchOperations;
class TdmPublic;

/// The batch operations of the program: the remote engine and the notice mail.
std::unique_ptr<TBatchOperations> MakeBatchOperations(TdmPublic& dm);

/// Shows the runner window for one batch over copies of users, modally over parent, and returns
/// the users as the run left them once it is closed.
QList<TUser> ShowBatchWindow(TdmPublic& dm, TBatchOperations& operations, TOperationType type,
                             TOperationOptions options, const QList<TUser>& users, QWidget* parent);
