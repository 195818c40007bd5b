#include "batch/TBatchObserver.h"

TBatchObserver::~TBatchObserver() = default;

void TBatchObserver::RowProgress(int, const QString&) {}
