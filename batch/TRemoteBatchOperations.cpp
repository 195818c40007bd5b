#include "batch/TRemoteBatchOperations.h"

#include "batch/TNoticeMailer.h"

TRemoteBatchOperations::TRemoteBatchOperations(TRemoteEngine& engine, TNoticeMailer& mailer)
    : TRemoteBatchOperations(engine,
                             [&mailer](const TUser& user, TActionStaus& status, const ProgressCallback& progress) {
                                 mailer.SendNoticeMail(user, status, progress);
                             })
{
}

TRemoteBatchOperations::TRemoteBatchOperations(TRemoteEngine& engine, TRemoteEngine::NoticeMailSender mail)
    : m_engine(engine), m_mail(std::move(mail))
{
    m_engine.SetNoticeMailSender([this](const TUser& user, TActionStaus& status, const ProgressCallback& progress) {
        SendNoticeMail(user, status, progress);
    });
}

TRemoteBatchOperations::~TRemoteBatchOperations()
{
    m_engine.SetNoticeMailSender({});
}

void TRemoteBatchOperations::TestLogin(const TUser& user, TActionStaus& status, const ProgressCallback& progress)
{
    m_engine.SSHLogin(user, QString(), status, progress);
}

void TRemoteBatchOperations::ChangePassword(const TUser& user, TOperationOptions options, TActionStaus& status,
                                            const ProgressCallback& progress)
{
    m_engine.ChangeUserPassword(user, options, status, progress);
}

void TRemoteBatchOperations::SendNoticeMail(const TUser& user, TActionStaus& status, const ProgressCallback& progress)
{
    const bool changed = status.PasswordChanged;
    if (m_mail) {
        m_mail(user, status, progress);
    } else {
        status.Set(acSendFailed);
        status.Detail = QStringLiteral("No mail sender is set up in this program.");
    }
    status.PasswordChanged = changed;
}
