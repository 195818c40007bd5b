#pragma once

#include "batch/NoticeMailSettings.h"
#include "core/TdmPublic.h"
#include "engine/TActionStaus.h"

/// The notice mail to the owner of a user account: a fixed message, from the "Mail" settings, sent
/// to the addresses of the user's Email text.
class TNoticeMailer
{
public:
    explicit TNoticeMailer(TdmPublic& dm) : m_dm(dm) {}

    /// Sends the notice mail to user.Email. Never raises: status ends as code 5 "Send Failed. "
    /// with the reason as Detail ("E-mail is empty." or an unusable [Mail] Security value without
    /// any connection), or code 6 "Send Successed. ". Progress: "Connect to ...",
    /// "Authentication..." (only when an account logs in), "Sending...". Adds nothing to the
    /// transcript.
    void SendNoticeMail(const TUser& user, TActionStaus& status, const ProgressCallback& progress);

    static inline const QString EmptyAddressText = QStringLiteral("E-mail is empty.");

    /// The same with the settings already read (caFile: the resolved certificate file); touches
    /// neither the database nor the screen, so any thread may send. pump, when given, runs between
    /// short waits on the socket.
    static void Send(const NoticeMailSettings& settings, const QString& caFile, const TUser& user, TActionStaus& status,
                     const ProgressCallback& progress, const std::function<void()>& pump = {});

private:
    TdmPublic& m_dm;
};

/// TNoticeMailer::SendNoticeMail on the process's data module.
void SendNoticeMail(const TUser& user, TActionStaus& status, const ProgressCallback& progress);
