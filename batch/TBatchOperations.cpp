#include "batch/TBatchOperations.h"

TBatchOperations::~TBatchOperations() = default;

void TBatchOperations::Prepare(const TUser&, TOperationType, TOperationOptions, TPreparedWork&) {}

bool TBatchOperations::ReadShadowHash(const TUser&, const TPreparedWork&, TRunContext&, QString&, QString& problem)
{
    problem.clear();
    return false;
}
