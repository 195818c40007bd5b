#include "batch/TBatchObserver.h"

TBatchObserver::~TBatchObserver() = default;
