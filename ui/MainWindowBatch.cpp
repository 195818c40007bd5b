#include "ui/MainWindowBatch.h"

#include "batch/TRemoteBatchOperations.h"
#include "batch/TfrmOperation.h"
#include "core/TdmPublic.h"
#include "ui/TfrmBase.h"

std::unique_ptr<TBatchOperations> MakeBatchOperations(TdmPublic& dm)
{
    return std::make_unique<TRemoteBatchOperations>(dm);
}

QList<TUser> ShowBatchWindow(TdmPublic& dm, TBatchOperations& operations, TOperationType type,
                             TOperationOptions options, const QList<TUser>& users, QWidget* parent)
{
    TfrmOperation window(dm, operations, type, options, users, parent);
    TfrmBase::ExecModal(window);
    return window.Users();
}
