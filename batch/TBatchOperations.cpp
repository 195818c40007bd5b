#include "batch/TBatchOperations.h"

TBatchOperations::~TBatchOperations() = default;
