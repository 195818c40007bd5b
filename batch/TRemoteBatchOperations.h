#pragma once

#include "batch/TBatchOperations.h"

class TdmPublic;

/// The batch operations of the program: login probe and password change through the remote engine,
/// notice mail through the mail sender.
class TRemoteBatchOperations : public TBatchOperations
{
public:
    explicit TRemoteBatchOperations(TdmPublic& dm) : m_dm(dm) {}

    void Prepare(const TUser& user, TOperationType type, TOperationOptions options, TPreparedWork& work) override;
    void TestLogin(const TUser& user, const TPreparedWork& work, TActionStaus& status, TRunContext& run) override;
    void ChangePassword(const TUser& user, const TPreparedWork& work, TActionStaus& status, TRunContext& run) override;
    void SendNoticeMail(const TUser& user, const TPreparedWork& work, TActionStaus& status, TRunContext& run) override;
    bool ReadShadowHash(const TUser& user, const TPreparedWork& work, TRunContext& run, QString& hash,
                        QString& problem) override;

private:
    TdmPublic& m_dm;
};
