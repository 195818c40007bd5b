#include "batch/TBatchOperations.h"

TBatchOperations::~TBatchOperations() = default;

void TBatchOperations::Prepare(const TUser&, TOperationType, TOperationOptions, TPreparedWork&) {}
