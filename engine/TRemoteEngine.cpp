#include "engine/TRemoteEngine.h"

#include "core/VisibleText.h"
#include "engine/TActionFlg.h"
#include "engine/TranscriptRedactor.h"

#include <QElapsedTimer>
#include <QScopeGuard>

namespace {

const QString kCheckNetwork = QStringLiteral("Please check network connection and login account.");
const QString kCancelled = QStringLiteral("Cancelled by user. ");
const QString kTimeout = QStringLiteral("Receive data timeout.");
const QString kConnectionClosed = QStringLiteral("Connection is closed.");
const QString kProbeCommand = QStringLiteral("echo 2009");

} // namespace

TRemoteEngine::TRemoteEngine(TRunContext& run)
    : m_run(run), m_ownShell(std::make_unique<SshRemoteShell>()), m_shell(m_ownShell.get())
{
    m_shell->SetCancelSignal(m_run.Cancel());
}

TRemoteEngine::TRemoteEngine(TRunContext& run, TRemoteShell& shell) : m_run(run), m_shell(&shell)
{
    m_shell->SetCancelSignal(m_run.Cancel());
}

TRemoteEngine::~TRemoteEngine()
{
    if (m_ownShell)
        m_ownShell->CloseSession();
}

void TRemoteEngine::CloseSession()
{
    m_shell->CloseSession();
}

bool TRemoteEngine::SessionActive()
{
    return m_shell->SessionActive();
}

void TRemoteEngine::endCommand(bool keepConnection)
{
    if (keepConnection && !m_run.CancelRequested())
        m_shell->CloseChannel();
    else
        m_shell->CloseSession();
}

void TRemoteEngine::SSHLogin(const TLoginRequest& request, TActionStaus& status)
{
    status = TActionStaus{};
    if (!request.reuseConnection)
        m_shell->CloseSession();
    // A new conversation: its secrets and outputs start afresh.
    m_redactor.Reset();
    m_outputEntries.clear();
    m_outputDropped.clear();

    const QString connectText = QString::asprintf("Connect to %s:%d (login as %s)", qUtf8Printable(request.address),
                                                  request.port, qUtf8Printable(request.loginName));
    m_run.AddTranscriptLine(connectText + QStringLiteral("... "));
    m_run.ReportProgress(connectText + QStringLiteral(", Please wait... "));

    SshOpenParams params;
    params.address = request.address;
    params.port = request.port;
    params.username = request.loginName;
    params.password = request.password;
    m_redactor.AddSecret(params.password);
    params.socketTimeoutMs = 5000;
    params.command = request.command.isEmpty() ? kProbeCommand : request.command;
    params.knownHostsPath = request.knownHostsPath;
    params.reuseConnection = request.reuseConnection;

    std::uint8_t code = acConnectFailed;
    if (params.username.isEmpty()) {
        // Nothing is attempted without an account. Reported as a login failure (code 1): the fix
        // lies in the account, and an earlier attempt's connection state must not decide it.
        code = acLoginFailed;
        status.Detail = kCheckNetwork;
    } else {
        try {
            m_shell->OpenSession(params);
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
            code = keyExchanged || m_shell->CanConnectSocket() ? acLoginFailed : acConnectFailed;
            status.HostUnreachable = error.kind() != SshError::Kind::Cancelled &&
                                     (code == acConnectFailed || error.kind() == SshError::Kind::Silent);
        } catch (const std::exception&) {
            status.Detail = kCheckNetwork;
            code = m_shell->CanConnectSocket() ? acLoginFailed : acConnectFailed;
        }
    }
    params.password.wipe();
    status.Set(code);
    m_run.ReportProgress(connectText + QStringLiteral("... ") + status.Text);

    if (request.command.isEmpty() || status.Code != acLoginSucceeded)
        m_shell->CloseSession();
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
    m_outputEntries.append(static_cast<int>(m_run.Transcript.size()));
    m_outputDropped.append(dropped);
    m_run.AddTranscriptLine(QString());
    // Earlier outputs of this conversation may end in the first part of a secret that this one
    // completes: every entry is written again from the redacted whole.
    const QList<QByteArray> redacted = m_redactor.Append(received);
    for (qsizetype i = 0; i < redacted.size() && i < m_outputEntries.size(); ++i)
        if (m_outputEntries[i] < m_run.Transcript.size())
            m_run.Transcript[m_outputEntries[i]] = shownOutput(redacted[i], m_outputDropped[i]);
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
        m_shell->ReadOutput(ReadChunkBytes, channelOutput, extendedOutput);
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
            if (m_run.CancelRequested())
                throw RemoteError(kCancelled);
            if (clock.elapsed() > ReadTimeOut)
                throw RemoteError(kTimeout);
            if (!m_shell->SessionActive()) {
                // Output that arrived with the close is still the host's last word (its error line
                // or even the awaited text), so it is taken before giving up.
                while (m_shell->PollOutput()) {
                    const qsizetype before = received.size() + dropped;
                    if (takeChunk())
                        return true;
                    if (received.size() + dropped == before && channelOutput.isEmpty() && extendedOutput.isEmpty())
                        break;
                }
                throw RemoteError(hostsWords());
            }
            if (!m_shell->PollOutput()) {
                // Error-stream bytes are never announced, and while they lie unread libssh keeps the
                // channel open: taking them lets a host that ended after them show as closed.
                if (takeChunk())
                    return true;
                // Blocks on the socket and the stop request; one millisecond past the limit decides it.
                m_shell->WaitOutput(static_cast<int>(qMax<qint64>(1, ReadTimeOut - clock.elapsed() + 1)));
                continue;
            }
            if (takeChunk())
                return true;
        }
    } catch (const SshError& error) {
        // A connection that went down ends the wait as a closed session does: with the host's last words.
        if (!m_shell->SessionActive())
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
        m_shell->WriteInput(secretLine.bytes());
    } catch (const SshError& error) {
        throw RemoteError(error.message());
    }
}

void TRemoteEngine::ChangeUserPassword(const TChangeRequest& request, TActionStaus& status)
{
    status = TActionStaus{};
    status.Set(acChangeFailed);
    if (!request.refusal.isEmpty()) {
        status.Detail = request.refusal;
        return;
    }
    const TActionFlg& profile = request.profile;

    SSHLogin(request.login, status);
    if (status.Code != acLoginSucceeded)
        return;

    status.Set(acChangeFailed);
    try {
        // A command that ended at once may have left its reason buffered; the first wait reports it.
        if (!m_shell->SessionActive() && !m_shell->PollOutput())
            throw RemoteError(kConnectionClosed);
        m_run.ReportProgress(QStringLiteral("Changing password for user [") + request.userLogin +
                             QStringLiteral("], please wait..."));
        if (profile.canskip == -1) {
            WaitForText(profile.InputOldPassword);
            SendLine(request.oldPassword);
        }
        WaitForText(profile.InputNewPassword);
        // Set before the write: a write that fails half way may still have reached the host.
        status.NewPasswordSent = true;
        SendLine(request.newPassword);
        WaitForText(profile.RetypeNewPassword);
        SendLine(request.newPassword);
        WaitForText(profile.ChangeSuccessfully);
        status.Set(acChangeSucceeded);
        status.PasswordChanged = true;
    } catch (const std::exception& error) {
        status.Detail = QString::fromStdString(error.what());
    }
    endCommand(request.login.reuseConnection);
}
