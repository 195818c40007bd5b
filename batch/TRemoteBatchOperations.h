#pragma once

#include "batch/TBatchOperations.h"
#include "engine/TRemoteEngine.h"

class TNoticeMailer;

/// The batch operations of the program: login probe and password change through the remote
/// engine, notice mail through the mail sender (also installed as the engine's follow-up of a
/// change made with ooSendNoticeMail).
class TRemoteBatchOperations : public TBatchOperations
{
public:
    /// The program's operations: the notice mail goes through mailer.
    TRemoteBatchOperations(TRemoteEngine& engine, TNoticeMailer& mailer);
    /// mail may be empty: a notice mail then fails with a message saying so.
    TRemoteBatchOperations(TRemoteEngine& engine, TRemoteEngine::NoticeMailSender mail);
    /// Takes the follow-up out of the engine again.
    ~TRemoteBatchOperations() override;
    TRemoteBatchOperations(const TRemoteBatchOperations&) = delete;
    TRemoteBatchOperations& operator=(const TRemoteBatchOperations&) = delete;

    void TestLogin(const TUser& user, TActionStaus& status, const ProgressCallback& progress) override;
    void ChangePassword(const TUser& user, TOperationOptions options, TActionStaus& status,
                        const ProgressCallback& progress) override;
    void SendNoticeMail(const TUser& user, TActionStaus& status, const ProgressCallback& progress) override;

private:
    TRemoteEngine& m_engine;
    TRemoteEngine::NoticeMailSender m_mail;
};
