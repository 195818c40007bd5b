#include "engine/TRemoteEngine.h"

#include "core/NameRules.h"
#include "core/VisibleText.h"
#include "engine/ManagerCommand.h"
#include "engine/TActionFlg.h"
#include "engine/TranscriptRedactor.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

#include <optional>

namespace {

const QString kCheckNetwork = QStringLiteral("Please check network connection and login account.");
const QString kCancelled = QStringLiteral("Cancelled by user. ");
const QString kTimeout = QStringLiteral("Receive data timeout.");
const QString kConnectionClosed = QStringLiteral("Connection is closed.");
const QString kProbeCommand = QStringLiteral("echo 2009");
/// Longest failure detail in a row; the transcript keeps the whole output.
constexpr qsizetype kMaxDetailChars = 300;
/// How long a host that printed a failure may go on printing its reason before the wait ends.
constexpr int kFailureSettleMs = 300;

/// The fixed words of a failed login, then the cause in one sentence.
QString withCause(const QString& cause)
{
    const QString sentence = cause.trimmed();
    return sentence.isEmpty() ? kCheckNetwork : kCheckNetwork + QLatin1Char(' ') + sentence;
}

/// text cut to the row's limit, on a word where one is near.
QString capped(const QString& text)
{
    if (text.size() <= kMaxDetailChars)
        return text;
    qsizetype cut = text.lastIndexOf(QLatin1Char(' '), kMaxDetailChars);
    if (cut < kMaxDetailChars - 40)
        cut = kMaxDetailChars;
    return text.left(cut) + QStringLiteral(" ...");
}

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
    params.keyPath = request.passwordOnly ? QString() : request.keyPath;
    params.keyPassphrase = request.passwordOnly ? SecretBuffer() : request.keyPassphrase;
    params.useAgent = !request.passwordOnly && request.useAgent;
    params.passwordOnly = request.passwordOnly;
    params.legacyAlgorithms = request.legacyAlgorithms;
    params.refuseUnknownHost = request.refuseUnknownHost;
    if (request.englishMessages && !request.command.isEmpty()) {
        params.environment = {{"LC_ALL", "C"}, {"LANG", "C"}};
        params.commandIfEnvironmentRefused = request.commandIfEnvironmentRefused;
    }

    std::uint8_t code = acConnectFailed;
    const QString nameProblem =
        params.username.isEmpty()
            ? QString()
            : LoginNameProblem(params.username,
                               QStringLiteral("The login name \"%1\"")
                                   .arg(VisibleControlCharacters(params.username.left(64), TLineBreaks::Visible)));
    if (params.username.isEmpty()) {
        // Nothing is attempted without an account. Reported as a login failure (code 1): the fix
        // lies in the account, and an earlier attempt's connection state must not decide it.
        code = acLoginFailed;
        status.Detail = kCheckNetwork;
    } else if (!nameProblem.isEmpty()) {
        // A name no host can take fails this account alone; the host's other accounts go on.
        code = acLoginFailed;
        status.Detail = nameProblem + QStringLiteral("Correct the login name.");
    } else {
        try {
            m_shell->OpenSession(params);
            if (m_shell->RecordedServerKey())
                status.HostKey = m_shell->ServerKey();
            // The command may already have ended by now ("echo 2009" nearly always has): the login
            // succeeded all the same, and an ended conversation is reported by its first wait.
            code = acLoginSucceeded;
            if (request.command.isEmpty())
                code = proveProbe(status);
        } catch (const SshError& error) {
            switch (error.kind()) {
            case SshError::Kind::Cancelled:
                status.Detail = kCancelled;
                break;
            case SshError::Kind::KnownHostsFile:
            case SshError::Kind::Silent:
            case SshError::Kind::UnknownHost:
            case SshError::Kind::KeyFile:
            case SshError::Kind::PasswordExpired:
            case SshError::Kind::NoPassword:
            case SshError::Kind::BadLoginName:
                // "Check the login account" would send the user after a password that was never asked.
                status.Detail = error.message();
                break;
            case SshError::Kind::HostKeyChanged:
                // The user must see which known_hosts line to remove, so the transport's text is kept.
                status.Detail = error.message();
                status.HostKeyChanged = true;
                status.HostKey = m_shell->ServerKey();
                break;
            case SshError::Kind::Refused:
                status.LoginRefused = true;
                status.Detail = withCause(error.message());
                break;
            case SshError::Kind::Failed:
                status.Detail = withCause(error.message());
                break;
            }
            const bool keyExchanged =
                error.kind() == SshError::Kind::HostKeyChanged || error.kind() == SshError::Kind::KnownHostsFile ||
                error.kind() == SshError::Kind::UnknownHost || error.kind() == SshError::Kind::KeyFile ||
                error.kind() == SshError::Kind::PasswordExpired || error.kind() == SshError::Kind::NoPassword ||
                error.kind() == SshError::Kind::BadLoginName;
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
    return waitFor({expected}, {}, false) == 0;
}

namespace {

/// Where the line of folded host output that holds position at starts.
qsizetype lineStart(const QByteArray& text, qsizetype at)
{
    return text.lastIndexOf('\n', at) + 1;
}

/// The line of folded host output around position at.
QByteArray lineAround(const QByteArray& text, qsizetype at)
{
    const qsizetype start = lineStart(text, at);
    qsizetype end = text.indexOf('\n', at);
    if (end < 0)
        end = text.size();
    return text.mid(start, end - start).trimmed();
}

/// The last non-blank line of text that ends before position before.
QByteArray lineBefore(const QByteArray& text, qsizetype before)
{
    qsizetype end = lineStart(text, before) - 1;
    while (end > 0) {
        const qsizetype start = text.lastIndexOf('\n', end - 1) + 1;
        const QByteArray line = text.mid(start, end - start).trimmed();
        if (!line.isEmpty())
            return line;
        end = start - 1;
    }
    return QByteArray();
}

} // namespace

int TRemoteEngine::waitFor(const QStringList& expected, const QStringList& failures, bool endIsAnAnswer,
                           bool atPromptOnly)
{
    m_lastWaitRefused = false;
    QList<QByteArray> wanted;
    for (const QString& text : expected)
        wanted << FoldAsciiCase(text.toUtf8());
    QList<QByteArray> failing;
    for (const QString& text : failures)
        if (!text.trimmed().isEmpty())
            failing << FoldAsciiCase(text.trimmed().toUtf8());
    qsizetype longest = 1;
    for (const QByteArray& text : wanted + failing)
        longest = qMax(longest, text.size());

    QByteArray received;
    qsizetype dropped = 0;
    const auto recordReceived = qScopeGuard([&] { recordOutput(received, dropped); });
    // What a failure quotes of the host: redacted and with control characters made visible. Output of
    // nothing but line ends and blanks says no more than the close itself.
    const auto hostsWords = [&] {
        return received.trimmed().isEmpty() ? kConnectionClosed
                                            : capped(shownOutput(m_redactor.Redacted(received), dropped).trimmed());
    };
    QElapsedTimer clock;
    clock.start();

    QByteArray channelOutput;
    QByteArray extendedOutput;
    // Without a terminal the prompts of PAM and passwd come on the error stream; with one, that stream
    // only carries what a host writes past the terminal, which is dropped.
    const bool withErrorStream = !m_shell->HasTerminal();
    qsizetype failureAt = -1;
    // Takes one chunk of buffered output. Returns the index of the expected text that appeared, or -1.
    // A failure text that appeared sets failureAt, before any expected text counts: "BAD PASSWORD ...
    // New password:" is a refusal. Only the new bytes (and the end of the old ones) are searched, and
    // only the latest output is kept, so a host that floods the channel costs neither time nor memory.
    const auto takeChunk = [&] {
        m_shell->ReadOutput(ReadChunkBytes, channelOutput, extendedOutput);
        const qsizetype from = qMax<qsizetype>(0, received.size() - longest + 1);
        received += FoldAsciiCase(channelOutput);
        if (withErrorStream)
            received += FoldAsciiCase(extendedOutput);
        if (failureAt < 0) {
            for (const QByteArray& text : failing) {
                const qsizetype at = received.indexOf(text, from);
                if (at >= 0 && (failureAt < 0 || at < failureAt))
                    failureAt = at;
            }
            if (failureAt >= 0)
                return -1;
        }
        int found = -1;
        for (int k = 0; k < wanted.size() && found < 0; ++k) {
            if (wanted[k].isEmpty())
                continue;
            for (qsizetype at = received.indexOf(wanted[k], from); at >= 0; at = received.indexOf(wanted[k], at + 1)) {
                // A prompt is where the host waits: nothing follows it on its line. The same words
                // inside a message line ("BAD PASSWORD: the password is ...") are no prompt.
                if (atPromptOnly && received.indexOf('\n', at + wanted[k].size()) >= 0)
                    continue;
                found = k;
                m_matchedLine = lineAround(received, at);
                m_lineBeforeMatch = lineBefore(received, at);
                break;
            }
        }
        if (received.size() > MaxKeptOutputBytes && failureAt < 0) {
            const qsizetype cut = received.size() - MaxKeptOutputBytes;
            received.remove(KeptOutputHeadBytes, cut);
            dropped += cut;
        }
        return found;
    };
    // The host's reason: from the line of the earliest failure text to the end of what it printed,
    // without the prompt it waits at now ("BAD PASSWORD: ...", then "New password: " again).
    const auto reasonOfFailure = [&] {
        QByteArray reason = received.mid(lineStart(received, failureAt)).trimmed();
        const qsizetype lastLine = reason.lastIndexOf('\n');
        if (lastLine > 0) {
            const QByteArray prompt = reason.mid(lastLine + 1);
            for (const QByteArray& text : wanted)
                if (!text.isEmpty() && prompt.contains(text)) {
                    reason.truncate(lastLine);
                    break;
                }
        }
        return capped(VisibleControlCharacters(QString::fromUtf8(m_redactor.Redacted(reason.trimmed()))).simplified());
    };
    // Takes what the host still prints right after the failure text before giving its reason.
    const auto refuse = [&] {
        QElapsedTimer quiet;
        quiet.start();
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 4 * kFailureSettleMs && quiet.elapsed() < kFailureSettleMs &&
               !m_run.CancelRequested()) {
            const qsizetype before = received.size();
            if (m_shell->PollOutput() || !m_shell->SessionActive())
                takeChunk();
            if (received.size() != before)
                quiet.restart();
            else if (!m_shell->SessionActive())
                break;
            else
                m_shell->WaitOutput(static_cast<int>(qMax<qint64>(1, kFailureSettleMs - quiet.elapsed())));
        }
        m_lastWaitRefused = true;
        throw RemoteError(reasonOfFailure());
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
                    if (const int found = takeChunk(); found >= 0)
                        return found;
                    if (failureAt >= 0)
                        refuse();
                    if (received.size() + dropped == before && channelOutput.isEmpty() && extendedOutput.isEmpty())
                        break;
                }
                // Bytes of the error stream are not announced by PollOutput.
                if (const int found = takeChunk(); found >= 0)
                    return found;
                if (failureAt >= 0)
                    refuse();
                if (endIsAnAnswer)
                    return -1;
                throw RemoteError(hostsWords());
            }
            if (!m_shell->PollOutput()) {
                // Error-stream bytes are never announced, and while they lie unread libssh keeps the
                // channel open: taking them lets a host that ended after them show as closed.
                if (const int found = takeChunk(); found >= 0)
                    return found;
                if (failureAt >= 0)
                    refuse();
                // Blocks on the socket and the stop request; one millisecond past the limit decides it.
                m_shell->WaitOutput(static_cast<int>(qMax<qint64>(1, ReadTimeOut - clock.elapsed() + 1)));
                continue;
            }
            if (const int found = takeChunk(); found >= 0)
                return found;
            if (failureAt >= 0)
                refuse();
        }
    } catch (const SshError& error) {
        // A connection that went down ends the wait as a closed session does: with the host's last words.
        if (failureAt >= 0) {
            m_lastWaitRefused = true;
            throw RemoteError(reasonOfFailure());
        }
        if (!m_shell->SessionActive()) {
            if (endIsAnAnswer)
                return -1;
            throw RemoteError(hostsWords());
        }
        throw RemoteError(error.message());
    }
}

std::uint8_t TRemoteEngine::proveProbe(TActionStaus& status)
{
    // The login counts once the host ran the probe: an account whose password has expired logs in
    // and is then made to change it instead.
    try {
        const int found =
            waitFor({QStringLiteral("2009")},
                    {QStringLiteral("password has expired"), QStringLiteral("change your password")}, false);
        m_run.Transcript.removeLast(); // the probe's own output is no part of the record
        if (found == 0)
            return acLoginSucceeded;
    } catch (const RemoteError& error) {
        m_run.Transcript.removeLast();
        const QString words = error.message().trimmed();
        if (words.contains(QLatin1String("expired")) || words.contains(QLatin1String("change your password"))) {
            status.Detail =
                QStringLiteral("The password has expired: the host asks to change it at login (\"%1\"). ").arg(words);
            return acLoginFailed;
        }
        if (words == kCancelled.trimmed()) {
            status.Detail = kCancelled;
            return acLoginFailed;
        }
        // The host took the password; a forced command (ForceCommand, command= keys) decides what runs
        // after that, and the password is proven all the same.
        status.Detail = QStringLiteral("The host accepted the password but did not run the test command (the account "
                                       "may be restricted).");
        return acLoginSucceeded;
    }
    return acLoginFailed;
}

int TRemoteEngine::exitStatusOfEndedCommand()
{
    // The exit status travels just before the close; give libssh a moment to have taken it.
    QElapsedTimer clock;
    clock.start();
    int exitStatus = m_shell->ExitStatus();
    while (exitStatus < 0 && clock.elapsed() < 2000 && !m_run.CancelRequested()) {
        m_shell->WaitOutput(50);
        QByteArray out, err;
        m_shell->ReadOutput(ReadChunkBytes, out, err);
        exitStatus = m_shell->ExitStatus();
    }
    return exitStatus;
}

void TRemoteEngine::takeWhatIsThere()
{
    QByteArray taken;
    QByteArray channelOutput;
    QByteArray extendedOutput;
    try {
        for (int chunk = 0; chunk < 64; ++chunk) {
            m_shell->PollOutput();
            m_shell->ReadOutput(ReadChunkBytes, channelOutput, extendedOutput);
            if (channelOutput.isEmpty() && extendedOutput.isEmpty())
                break;
            taken += FoldAsciiCase(channelOutput);
            if (!m_shell->HasTerminal())
                taken += FoldAsciiCase(extendedOutput);
        }
    } catch (const SshError&) {
        // The next wait meets the same fault and says it.
    }
    if (!taken.isEmpty())
        recordOutput(taken, 0);
}

void TRemoteEngine::SendLine(const SecretBuffer& text)
{
    QByteArray line = text.bytes();
    // A terminal turns CR into the line end; plain pipes pass it on, so it would become part of the answer.
    line.append(m_shell->HasTerminal() ? '\r' : '\n'); // detaches: the copy is ours to wipe
    ++m_linesSent;
    const SecretBuffer secretLine(std::move(line));
    // Whatever the host prints back from here on must not show it.
    m_redactor.AddSecret(text);
    try {
        m_shell->WriteInput(secretLine.bytes());
    } catch (const SshError& error) {
        throw RemoteError(error.message());
    }
}

namespace {

/// Whether a command that ended before its first prompt was refused by a restricted shell, which does not
/// take the "env" in front.
bool RefusedByShell(const QString& reason)
{
    const QString folded = reason.toLower();
    return folded.contains(QLatin1String("not allowed")) || folded.contains(QLatin1String("not found")) ||
           folded.contains(QLatin1String("restricted")) || folded.contains(QLatin1String("permission denied")) ||
           folded.contains(QLatin1String("no such file"));
}

} // namespace

void TRemoteEngine::ChangeUserPassword(const TChangeRequest& request, TActionStaus& status)
{
    status = TActionStaus{};
    status.Set(acChangeFailed);
    if (!request.refusal.isEmpty()) {
        status.Detail = request.refusal;
        return;
    }
    SSHLogin(request.login, status);
    if (status.Code != acLoginSucceeded)
        return;
    status.Set(acChangeFailed);
    status.Detail.clear();
    m_linesSent = 0;
    try {
        try {
            changeDialog(request, status);
        } catch (const RemoteError& error) {
            const QString started = m_shell->StartedCommand();
            if (m_linesSent > 0 || request.login.commandIfEnvironmentRefused.isEmpty() ||
                started != request.login.commandIfEnvironmentRefused || !RefusedByShell(error.message()))
                throw;
            // Nothing was typed yet: the plain command once more, in the host's own language.
            m_run.AddTranscriptLine(QStringLiteral("The host did not run the command with \"env\" in front; trying "
                                                   "the plain command."));
            TLoginRequest plain = request.login;
            plain.commandIfEnvironmentRefused.clear();
            plain.englishMessages = false;
            m_shell->CloseChannel();
            SSHLogin(plain, status);
            if (status.Code != acLoginSucceeded)
                return;
            status.Set(acChangeFailed);
            status.Detail.clear();
            changeDialog(request, status);
        }
        status.Set(acChangeSucceeded);
        status.PasswordChanged = true;
    } catch (const std::exception& error) {
        status.Detail = QString::fromStdString(error.what());
        // A refusal in words has ended the dialog; anything else may still be writing the password.
        if (status.NewPasswordSent && !status.ChangeRefused)
            awaitCommandEnd();
    }
    endCommand(request.login.reuseConnection);
}

void TRemoteEngine::awaitCommandEnd()
{
    QElapsedTimer clock;
    clock.start();
    bool ended = false;
    int exitStatus = -1;
    QByteArray said;
    QByteArray channelOutput;
    QByteArray extendedOutput;
    try {
        while (!ended && clock.elapsed() < CommandEndWait) {
            m_shell->ReadOutput(ReadChunkBytes, channelOutput, extendedOutput);
            if (said.size() < MaxKeptOutputBytes)
                said += FoldAsciiCase(channelOutput + extendedOutput);
            if (!channelOutput.isEmpty() || !extendedOutput.isEmpty())
                continue;
            exitStatus = m_shell->ExitStatus();
            ended = exitStatus >= 0 || !m_shell->SessionActive();
            if (ended)
                break;
            // Stop wakes every wait at once; the host still gets its time, in short sleeps.
            if (m_run.CancelRequested())
                QThread::msleep(50);
            else
                m_shell->WaitOutput(
                    static_cast<int>(qBound<qint64>(qint64(1), CommandEndWait - clock.elapsed(), qint64(250))));
        }
    } catch (const std::exception&) {
        ended = true; // the connection is gone: nothing is left to wait for
    }
    if (!said.trimmed().isEmpty())
        recordOutput(said, 0);
    // A command that had already ended when the dialog was given up on needs no word.
    if (ended && clock.elapsed() < 100)
        return;
    const QString seconds = QString::number(static_cast<double>(clock.elapsed()) / 1000.0, 'f', 1);
    if (!ended)
        m_run.AddTranscriptLine(
            QStringLiteral("passwd had not ended %1 s after the dialog was given up on.").arg(seconds));
    else if (exitStatus >= 0)
        m_run.AddTranscriptLine(
            QStringLiteral("passwd ended with exit status %1, %2 s after the dialog was given up on.")
                .arg(exitStatus)
                .arg(seconds));
    else
        m_run.AddTranscriptLine(
            QStringLiteral("The command ended %1 s after the dialog was given up on.").arg(seconds));
}

void TRemoteEngine::changeDialog(const TChangeRequest& request, TActionStaus& status)
{
    const TActionFlg& profile = request.profile;
    const QStringList failures = profile.FailureTexts;
    // Marks a wait that a failure text ended as the host's refusal, then lets its reason through.
    const auto wait = [&](const QStringList& expected, const QStringList& failing, bool endIsAnAnswer = false,
                          bool atPromptOnly = false) {
        try {
            return waitFor(expected, failing, endIsAnAnswer, atPromptOnly);
        } catch (const RemoteError&) {
            if (m_lastWaitRefused)
                status.ChangeRefused = true;
            throw;
        }
    };
    // A command that ended at once may have left its reason buffered; the first wait reports it.
    if (!m_shell->SessionActive() && !m_shell->PollOutput())
        throw RemoteError(kConnectionClosed);
    m_run.ReportProgress(QStringLiteral("Changing password for user [") + request.userLogin +
                         QStringLiteral("], please wait..."));
    const bool oldStep = profile.canskip == -1;
    const QString firstPrompt = oldStep ? profile.InputOldPassword : profile.InputNewPassword;
    bool firstPromptSeen = false;
    if (request.elevation == TElevation::Sudo) {
        // sudo asks for the manager's password unless the rule says NOPASSWD: then passwd speaks first.
        const QStringList sudoFailures =
            QStringList{QStringLiteral("Sorry, try again"), QStringLiteral("is not in the sudoers file"),
                        QStringLiteral("is not allowed to"), QStringLiteral("incorrect password attempt")} +
            failures;
        if (wait({SudoPrompt.trimmed(), firstPrompt}, sudoFailures) == 0)
            SendLine(request.elevationPassword);
        else
            firstPromptSeen = true;
        if (!firstPromptSeen) {
            wait({firstPrompt}, sudoFailures);
            firstPromptSeen = true;
        }
    } else if (request.elevation == TElevation::Su) {
        const QStringList suFailures = QStringList{QStringLiteral("Authentication failure"),
                                                   QStringLiteral("su: Sorry"), QStringLiteral("incorrect password")} +
                                       failures;
        wait({QStringLiteral("password:"), QStringLiteral("passwort:")}, suFailures);
        SendLine(request.elevationPassword);
        wait({firstPrompt}, suFailures);
        firstPromptSeen = true;
    }
    if (oldStep) {
        if (!firstPromptSeen)
            wait({profile.InputOldPassword}, failures);
        SendLine(request.oldPassword);
        wait({profile.InputNewPassword}, failures);
    } else if (!firstPromptSeen) {
        wait({profile.InputNewPassword}, failures);
    }
    const QByteArray newPasswordPrompt = m_matchedLine;
    // Set before the write: a write that fails half way may still have reached the host.
    status.NewPasswordSent = true;
    SendLine(request.newPassword);
    wait({profile.RetypeNewPassword}, failures, false, true);
    if (!newPasswordPrompt.isEmpty() && m_matchedLine == newPasswordPrompt) {
        // The host asks for the new password again instead of its retype: it refused the first one
        // (pam_pwquality's "BAD PASSWORD: ..." for root under enforce_for_root, say).
        status.ChangeRefused = true;
        const QString reason = VisibleControlCharacters(QString::fromUtf8(m_redactor.Redacted(m_lineBeforeMatch)));
        throw RemoteError(reason.isEmpty() ? QStringLiteral("the host asked for the new password again.")
                                           : capped(reason.simplified()));
    }
    // Only what the host prints after the last answer counts: whatever it printed before reading it (a
    // "successfully" ahead of its time) is taken now and kept out of the success wait.
    takeWhatIsThere();
    SendLine(request.newPassword);
    const QStringList success = profile.AllSuccessTexts();
    if (!profile.SuccessByExitStatus) {
        wait(success.isEmpty() ? QStringList{profile.ChangeSuccessfully} : success, failures);
        return;
    }
    // Systems that print nothing on success: a text (when the profile has one) or the end with status 0.
    if (wait(success, failures, true) < 0) {
        const int exitStatus = exitStatusOfEndedCommand();
        if (exitStatus != 0)
            throw RemoteError(exitStatus < 0 ? QStringLiteral("passwd ended without telling its exit status.")
                                             : QStringLiteral("passwd ended with exit status %1.").arg(exitStatus));
    }
}

QString TRemoteEngine::runQuietly(const TLoginRequest& request, TElevation elevation, const SecretBuffer& password,
                                  QByteArray& output, int& exitStatus)
{
    output.clear();
    exitStatus = -1;
    TActionStaus status;
    SSHLogin(request, status);
    if (status.Code != acLoginSucceeded)
        return QStringLiteral("the manager could not log in: %1").arg(status.Shown().trimmed());
    // The host waits for elevation's password where its output ends in the prompt.
    const auto atPrompt = [&] {
        const QByteArray tail = FoldAsciiCase(output.trimmed());
        if (elevation == TElevation::Sudo)
            return tail.endsWith(FoldAsciiCase(SudoPrompt.trimmed().toUtf8()));
        return elevation == TElevation::Su && (tail.endsWith("password:") || tail.endsWith("passwort:"));
    };
    // Without a terminal, sudo's and su's words come on the error stream.
    const bool withErrorStream = !m_shell->HasTerminal();
    bool answered = false;
    bool ended = false;
    QString why;
    QElapsedTimer clock;
    clock.start();
    QByteArray channelOutput;
    QByteArray extendedOutput;
    try {
        while (why.isEmpty()) {
            if (m_run.CancelRequested()) {
                why = kCancelled.trimmed();
            } else if (clock.elapsed() > ReadTimeOut) {
                why = QStringLiteral("the host did not end the command within %1 s").arg(ReadTimeOut / 1000.0);
            } else {
                const bool active = m_shell->SessionActive();
                m_shell->ReadOutput(ReadChunkBytes, channelOutput, extendedOutput);
                output += channelOutput;
                if (withErrorStream)
                    output += extendedOutput;
                if (channelOutput.isEmpty() && extendedOutput.isEmpty()) {
                    if (!active) {
                        ended = true;
                        break;
                    }
                    m_shell->WaitOutput(static_cast<int>(qMax<qint64>(1, ReadTimeOut - clock.elapsed() + 1)));
                } else if (output.size() > MaxKeptOutputBytes) {
                    why = QStringLiteral("the host printed more than %1 KiB instead of one entry")
                              .arg(MaxKeptOutputBytes / 1024);
                } else if (atPrompt()) {
                    // A second prompt: the password was refused. What the host said before it is the reason.
                    if (answered) {
                        output.truncate(output.lastIndexOf('\n') + 1);
                        break;
                    }
                    SendLine(password);
                    answered = true;
                    output.clear();
                    clock.restart();
                }
            }
        }
    } catch (const SshError& error) {
        why = error.message();
    } catch (const RemoteError& error) {
        why = error.message();
    }
    if (why.isEmpty() && ended)
        exitStatus = exitStatusOfEndedCommand();
    endCommand(request.reuseConnection);
    return why;
}

bool TRemoteEngine::ReadShadowHash(const TLoginRequest& managerLogin, TElevation elevation,
                                   const SecretBuffer& elevationPassword, const QString& account, QString& hash,
                                   QString& problem)
{
    hash.clear();
    problem.clear();
    const QString shownName = VisibleControlCharacters(account.left(64), TLineBreaks::Visible);
    const auto fail = [&](const QString& why) {
        problem = why;
        m_run.AddTranscriptLine(QStringLiteral("The shadow entry of %1 was not read: %2").arg(shownName, why));
        return false;
    };
    // getent would take a leading "-" as an option; blanks or control characters name no account.
    if (const QString nameProblem = LoginNameProblem(account, QStringLiteral("The login name \"%1\"").arg(shownName));
        !nameProblem.isEmpty())
        return fail(nameProblem.trimmed());

    TLoginRequest request = managerLogin;
    // sudo and su refuse in English where the host takes LC_ALL; getent's entry reads the same in any language.
    request.englishMessages = true;
    request.commandIfEnvironmentRefused.clear();
    request.command = ElevatedManagerCommand(elevation, ManagerShadowCommand(account), SudoPrompt);
    QByteArray output;
    int exitStatus = -1;
    if (const QString why = runQuietly(request, elevation, elevationPassword, output, exitStatus); !why.isEmpty())
        return fail(why);

    const QByteArray name = account.toUtf8();
    const auto entryOf = [&name](const QByteArray& text) -> std::optional<QByteArray> {
        for (QByteArray line : text.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            const QList<QByteArray> fields = line.split(':');
            if (fields.size() >= 2 && fields[0] == name)
                return fields[1];
        }
        return std::nullopt;
    };
    if (const auto field = entryOf(output)) {
        hash = QString::fromUtf8(*field);
        // Only that it was read: the hash is as good as a password to anyone who can try guesses offline.
        m_run.AddTranscriptLine(QStringLiteral("The shadow entry of %1 was read through the manager.").arg(shownName));
        return true;
    }

    // What the host said instead (lower-cased, as every refusal is shown), leaving out anything shaped
    // like another account's entry.
    QList<QByteArray> said;
    for (const QByteArray& line : output.split('\n'))
        if (line.count(':') < 8)
            said << line;
    const QString words = capped(
        VisibleControlCharacters(QString::fromUtf8(m_redactor.Redacted(FoldAsciiCase(said.join('\n').trimmed()))))
            .simplified());
    const QString folded = words.toLower();
    if (exitStatus == 127 ||
        (folded.contains(QLatin1String("getent")) &&
         (folded.contains(QLatin1String("not found")) || folded.contains(QLatin1String("no such file")))))
        return fail(QStringLiteral("the host has no getent"));
    if (elevation == TElevation::Sudo &&
        (folded.contains(QLatin1String("sudo")) || folded.contains(QLatin1String("sorry"))))
        return fail(QStringLiteral("sudo refused: ") + words);
    if (elevation == TElevation::Su &&
        (folded.startsWith(QLatin1String("su:")) || folded.contains(QLatin1String("authentication failure")) ||
         folded.contains(QLatin1String("incorrect password"))))
        return fail(QStringLiteral("su refused: ") + words);
    if (!words.isEmpty())
        return fail(QStringLiteral("the entry could not be read: ") + words);
    if (exitStatus != 2)
        return fail(exitStatus < 0 ? QStringLiteral("getent ended without telling its exit status")
                                   : QStringLiteral("getent ended with exit status %1").arg(exitStatus));

    // getent says only "not found", for an unknown account and for a shadow file it may not read alike;
    // the passwd entry, which every account may read, tells the two apart.
    TLoginRequest lookup = managerLogin;
    lookup.command = ManagerPasswdEntryCommand(account);
    lookup.englishMessages = false;
    lookup.commandIfEnvironmentRefused.clear();
    QByteArray passwdEntry;
    int lookupStatus = -1;
    const QString lookupProblem = runQuietly(lookup, TElevation::None, SecretBuffer(), passwdEntry, lookupStatus);
    if (lookupProblem.isEmpty() && lookupStatus == 2)
        return fail(QStringLiteral("there is no account %1 on the host").arg(shownName));
    if (lookupProblem.isEmpty() && entryOf(passwdEntry))
        return fail(elevation == TElevation::None
                        ? QStringLiteral("the entry could not be read (permission denied)")
                        : QStringLiteral("the host keeps no shadow entry for %1 (its password is kept elsewhere)")
                              .arg(shownName));
    return fail(QStringLiteral("getent found no shadow entry for %1").arg(shownName));
}
