#include "batch/TNoticeMailer.h"

#include "batch/NoticeMailSettings.h"
#include "core/UiServices.h"
#include "engine/DecipherSecret.h"
#include "transport/SmtpTransport.h"

#include <exception>

namespace {

QString stageText(SmtpStage stage)
{
    switch (stage) {
    case SmtpStage::Connecting:
        return QStringLiteral("Connect to ...");
    case SmtpStage::Authenticating:
        return QStringLiteral("Authentication...");
    case SmtpStage::Sending:
        return QStringLiteral("Sending...");
    }
    return QString();
}

} // namespace

void TNoticeMailer::SendNoticeMail(const TUser& user, TActionStaus& status, const ProgressCallback& progress)
{
    NoticeMailSettings settings;
    QString caFile;
    try {
        settings = NoticeMailSettings::Read(m_dm.OptionsFile.ini());
        caFile = settings.caFilePath(m_dm.OptionsFile.ini());
    } catch (const std::exception& error) {
        status.Set(acSendFailed);
        status.Detail = QString::fromUtf8(error.what());
        return;
    }
    // On the main thread the windows stay alive while the server answers.
    Send(
        settings, caFile, user, status,
        [&progress](const QString& text) {
            if (progress)
                progress(text);
            Ui().setStatusText(text);
        },
        [] { Ui().processEvents(); });
}

void TNoticeMailer::Send(const NoticeMailSettings& settings, const QString& caFile, const TUser& user,
                         TActionStaus& status, const ProgressCallback& progress, const std::function<void()>& pump)
{
    status.Set(acSendFailed);
    status.Detail.clear();
    try {
        SmtpMessage message;
        message.sender = settings.sender;
        message.recipients = SplitRecipientList(user.Email);
        message.subject = settings.subject;
        message.htmlBody = settings.body;
        // Blanks and commas alone are no address either.
        if (message.recipients.isEmpty()) {
            status.Detail = EmptyAddressText;
            return;
        }

        const MailSecurityChoice security = settings.connectionSecurity();
        if (!security.problem.isEmpty()) {
            status.Detail = security.problem;
            return;
        }

        SmtpServer server;
        server.security = security.security;
        server.caFile = caFile;
        server.host = settings.server;
        server.port = settings.port;
        server.account = settings.account;
        server.password = DecipherSecret(settings.password);

        SmtpTransport transport;
        const SmtpOutcome outcome = transport.Send(
            server, message,
            [&](SmtpStage stage) {
                if (progress)
                    progress(stageText(stage));
            },
            pump);
        if (!outcome.sent) {
            status.Detail = outcome.message;
            return;
        }
        status.Set(acSendSucceeded);
    } catch (const std::exception& error) {
        status.Detail = QString::fromUtf8(error.what());
    } catch (...) {
        status.Detail = QStringLiteral("The mail could not be sent for an unknown reason; try again.");
    }
}

void SendNoticeMail(const TUser& user, TActionStaus& status, const ProgressCallback& progress)
{
    if (!dmPublic) {
        status.Set(acSendFailed);
        status.Detail = QStringLiteral("The program is not ready to send mail; try again after it has started.");
        return;
    }
    TNoticeMailer(*dmPublic).SendNoticeMail(user, status, progress);
}
