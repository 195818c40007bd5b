#include "engine/TRemoteEngine.h"

#include "core/UiServices.h"
#include "core/VisibleText.h"
#include "engine/DecipherSecret.h"
#include "engine/ManagerCommand.h"
#include "engine/TActionFlg.h"
#include "engine/TranscriptRedactor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

namespace {

const QString kCheckNetwork = QStringLiteral("Please check network connection and login account.");
const QString kCancelled = QStringLiteral("Cancelled by user. ");
const QString kTimeout = QStringLiteral("Receive data timeout.");
const QString kConnectionClosed = QStringLiteral("Connection is closed.");
const QString kNewPasswordRequired = QStringLiteral("New password is required. ");
const QString kProbeCommand = QStringLiteral("echo 2009");

// A pass of WaitForText that found nothing sleeps this long, so a 5 s prompt wait stays far below
// a few percent of a core while answering a prompt at most this much later.
constexpr unsigned long kIdlePauseMs = 2;

} // namespace

TRemoteEngine::TRemoteEngine(TdmPublic& dm) : m_dm(dm)
{
    SSHClient.setMessageLoop([this] { return m_dm.SSHClientMessageLoop(); });
}

TRemoteEngine::~TRemoteEngine()
{
    SSHClient.CloseSession();
}

QString TRemoteEngine::KnownHostsPath() const
{
    return QDir(m_dm.ExecutableDir()).filePath(QStringLiteral("known_hosts"));
}

void TRemoteEngine::SetNoticeMailSender(NoticeMailSender sender)
{
    m_noticeMail = std::move(sender);
}

void TRemoteEngine::CloseSession()
{
    SSHClient.CloseSession();
}

bool TRemoteEngine::SessionActive()
{
    return SSHClient.SessionActive();
}

void TRemoteEngine::SSHLogin(const TUser& user, const QString& command, TActionStaus& status,
                             const ProgressCallback& progress)
{
    status = TActionStaus{};
    SSHClient.CloseSession();
    // A new conversation: its secrets and outputs start afresh.
    m_redactor.Reset();
    m_outputEntries.clear();
    m_outputDropped.clear();

    const QString connectText = QString::asprintf("Connect to %s:%d (login as %s)", qUtf8Printable(user.HostIP),
                                                  user.HostPort, qUtf8Printable(user.LoginName));
    m_dm.AddTranscriptLine(connectText + QStringLiteral("... "));
    m_dm.ReportProgress(connectText + QStringLiteral(", Please wait... "), progress);

    SshOpenParams params;
    params.address = user.HostIP;
    params.port = user.HostPort;
    params.username = user.LoginName;
    params.password = DecipherSecret(user.pwNow);
    m_redactor.AddSecret(params.password);
    params.socketTimeoutMs = 5000;
    params.command = command.isEmpty() ? kProbeCommand : command;
    params.knownHostsPath = KnownHostsPath();

    std::uint8_t code = acConnectFailed;
    if (params.username.isEmpty()) {
        // Nothing is attempted without an account. Reported as a login failure (code 1): the fix
        // lies in the account, and an earlier attempt's connection state must not decide it.
        code = acLoginFailed;
        status.Detail = kCheckNetwork;
    } else {
        try {
            SSHClient.OpenSession(params);
            // The command may already have ended by now ("echo 2009" nearly always has): the login
            // succeeded all the same, and an ended conversation is reported by its first wait.
            code = acLoginSucceeded;
        } catch (const SshError& error) {
            switch (error.kind()) {
            case SshError::Kind::Cancelled:
                status.Detail = kCancelled;
                break;
            case SshError::Kind::KnownHostsFile:
            case SshError::Kind::Silent:
                // "Check the login account" would send the user after a password that was never asked.
                status.Detail = error.message();
                break;
            case SshError::Kind::HostKeyChanged:
                // The user must see which known_hosts line to remove, so the transport's text is kept.
                status.Detail = error.message();
                break;
            case SshError::Kind::Refused:
                status.LoginRefused = true;
                status.Detail = kCheckNetwork;
                break;
            case SshError::Kind::Failed:
                status.Detail = kCheckNetwork;
                break;
            }
            const bool keyExchanged =
                error.kind() == SshError::Kind::HostKeyChanged || error.kind() == SshError::Kind::KnownHostsFile;
            code = keyExchanged || SSHClient.CanConnectSocket() ? acLoginFailed : acConnectFailed;
        } catch (const std::exception&) {
            status.Detail = kCheckNetwork;
            code = SSHClient.CanConnectSocket() ? acLoginFailed : acConnectFailed;
        }
    }
    params.password.wipe();
    status.Set(code);
    m_dm.ReportProgress(connectText + QStringLiteral("... ") + status.Text, progress);

    if (command.isEmpty() || status.Code != acLoginSucceeded)
        SSHClient.CloseSession();
}

QString TRemoteEngine::shownOutput(const QByteArray& redacted, qsizetype dropped)
{
    if (dropped == 0)
        return VisibleControlCharacters(QString::fromUtf8(redacted));
    // The start (a banner, what went wrong first) and the end (the prompt) are kept; the middle is counted.
    return VisibleControlCharacters(QString::fromUtf8(redacted.left(KeptOutputHeadBytes))) +
           QStringLiteral("\r\n[... %1 bytes of host output left out ...]\r\n").arg(dropped) +
           VisibleControlCharacters(QString::fromUtf8(redacted.mid(KeptOutputHeadBytes)));
}

void TRemoteEngine::recordOutput(const QByteArray& received, qsizetype dropped)
{
    m_outputEntries.append(static_cast<int>(m_dm.Transcript.size()));
    m_outputDropped.append(dropped);
    m_dm.AddTranscriptLine(QString());
    // Earlier outputs of this conversation may end in the first part of a secret that this one
    // completes: every entry is written again from the redacted whole.
    const QList<QByteArray> redacted = m_redactor.Append(received);
    for (qsizetype i = 0; i < redacted.size() && i < m_outputEntries.size(); ++i)
        if (m_outputEntries[i] < m_dm.Transcript.size())
            m_dm.Transcript[m_outputEntries[i]] = shownOutput(redacted[i], m_outputDropped[i]);
}

bool TRemoteEngine::WaitForText(const QString& expected)
{
    const QByteArray wanted = FoldAsciiCase(expected.toUtf8());
    QByteArray received;
    qsizetype dropped = 0;
    const auto recordReceived = qScopeGuard([&] { recordOutput(received, dropped); });
    // What a failure quotes of the host: redacted and with control characters made visible.
    const auto hostsWords = [&] {
        return received.isEmpty() ? kConnectionClosed : shownOutput(m_redactor.Redacted(received), dropped);
    };
    QElapsedTimer clock;
    clock.start();

    QByteArray channelOutput;
    QByteArray extendedOutput;
    // Takes one chunk of buffered output; the error stream is dropped. True when expected has appeared.
    // Only the new bytes (and the end of the old ones) are searched, and only the latest output is
    // kept, so a host that floods the channel costs neither time nor memory.
    const auto takeChunk = [&] {
        SSHClient.ReadOutput(ReadChunkBytes, channelOutput, extendedOutput);
        const qsizetype from = qMax<qsizetype>(0, received.size() - wanted.size() + 1);
        received += FoldAsciiCase(channelOutput);
        const bool found = !wanted.isEmpty() && received.indexOf(wanted, from) >= 0;
        if (received.size() > MaxKeptOutputBytes) {
            const qsizetype cut = received.size() - MaxKeptOutputBytes;
            received.remove(KeptOutputHeadBytes, cut);
            dropped += cut;
        }
        return found;
    };

    try {
        for (;;) {
            if (m_dm.CancelRequested)
                throw RemoteError(kCancelled);
            if (clock.elapsed() > ReadTimeOut)
                throw RemoteError(kTimeout);
            Ui().processEvents();
            if (!SSHClient.SessionActive()) {
                // Output that arrived with the close is still the host's last word (its error line
                // or even the awaited text), so it is taken before giving up.
                while (SSHClient.PollOutput()) {
                    const qsizetype before = received.size() + dropped;
                    if (takeChunk())
                        return true;
                    if (received.size() + dropped == before && channelOutput.isEmpty() && extendedOutput.isEmpty())
                        break;
                }
                throw RemoteError(hostsWords());
            }
            if (!SSHClient.PollOutput()) {
                // Error-stream bytes are never announced, and while they lie unread libssh keeps the
                // channel open: taking them lets a host that ended after them show as closed.
                if (takeChunk())
                    return true;
                QThread::msleep(kIdlePauseMs);
                continue;
            }
            if (takeChunk())
                return true;
        }
    } catch (const SshError& error) {
        // A connection that went down ends the wait as a closed session does: with the host's last words.
        if (!SSHClient.SessionActive())
            throw RemoteError(hostsWords());
        throw RemoteError(error.message());
    }
}

void TRemoteEngine::SendLine(const SecretBuffer& text)
{
    QByteArray line = text.bytes();
    line.append('\r'); // detaches: the copy is ours to wipe
    const SecretBuffer secretLine(std::move(line));
    // Whatever the host prints back from here on must not show it.
    m_redactor.AddSecret(text);
    try {
        SSHClient.WriteInput(secretLine.bytes());
    } catch (const SshError& error) {
        throw RemoteError(error.message());
    }
}

void TRemoteEngine::ChangeUserPassword(const TUser& user, TOperationOptions options, TActionStaus& status,
                                       const ProgressCallback& progress)
{
    status = TActionStaus{};
    status.Set(acChangeFailed);

    THost host;
    TActionFlg profile;
    try {
        if (user.pwNew.isEmpty())
            throw RemoteError(kNewPasswordRequired);
        auto query = m_dm.NewQuery();
        query->SelectSQL = QStringLiteral("select * from hosts where hid = ") + QString::number(user.hID);
        m_dm.OpenQuery(*query);
        HostFromQuery(*query, host);
        profile.OSID = host.OSID;
        LoadActionFlg(m_dm, profile);
    } catch (const std::exception& error) {
        status.Detail = QString::fromStdString(error.what());
        return;
    }

    if (host.UseManager == -1)
        options |= ooLoginAsManager;

    if (options & ooLoginAsManager) {
        // passwd takes a leading "-" as an option even when quoted; as root, "passwd -d" would
        // remove the manager's own password. No valid login name starts with one.
        if (user.LoginName.startsWith(QLatin1Char('-'))) {
            status.Detail = QStringLiteral("Login name \"%1\" starts with \"-\" and would be taken as an option of "
                                           "passwd; correct the login name. ")
                                .arg(user.LoginName);
            return;
        }
        TUser manager;
        manager.HostIP = user.HostIP;
        manager.HostPort = user.HostPort;
        manager.LoginName = host.MngLogin;
        manager.pwNow = host.MngPwd;
        SSHLogin(manager, ManagerPasswdCommand(user.LoginName), status, progress);
    } else {
        SSHLogin(user, QStringLiteral("passwd"), status, progress);
    }
    if (status.Code != acLoginSucceeded)
        return;

    status.Set(acChangeFailed);
    try {
        // A command that ended at once may have left its reason buffered; the first wait reports it.
        if (!SSHClient.SessionActive() && !SSHClient.PollOutput())
            throw RemoteError(kConnectionClosed);
        m_dm.ReportProgress(QStringLiteral("Changing password for user [") + user.LoginName +
                                QStringLiteral("], please wait..."),
                            progress);
        if (profile.canskip == -1) {
            WaitForText(profile.InputOldPassword);
            SendLine(DecipherSecret(user.pwNow));
        }
        WaitForText(profile.InputNewPassword);
        // Set before the write: a write that fails half way may still have reached the host.
        status.NewPasswordSent = true;
        SendLine(DecipherSecret(user.pwNew));
        WaitForText(profile.RetypeNewPassword);
        SendLine(DecipherSecret(user.pwNew));
        WaitForText(profile.ChangeSuccessfully);
        status.Set(acChangeSucceeded);
        status.PasswordChanged = true;
    } catch (const std::exception& error) {
        status.Detail = QString::fromStdString(error.what());
    }
    SSHClient.CloseSession();

    if (status.PasswordChanged && (options & ooSendNoticeMail) && m_noticeMail) {
        try {
            m_noticeMail(user, status, progress);
        } catch (const std::exception& error) {
            status.Set(acSendFailed);
            status.Detail = QString::fromStdString(error.what());
        }
        status.PasswordChanged = true;
    }
}
