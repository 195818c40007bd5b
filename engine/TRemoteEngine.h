#pragma once

#include "engine/ConversationRequest.h"
#include "engine/TActionStaus.h"
#include "engine/TRemoteShell.h"
#include "engine/TRunContext.h"
#include "engine/TranscriptRedactor.h"

#include <QList>
#include <QString>

#include <memory>
#include <stdexcept>

/// The remote password engine: one conversation with a host at a time, from a request to an
/// outcome. It reads no database, opens no window and calls nothing back but the run context's
/// progress; its waits block on the remote shell, so it belongs on a thread of its own (or in a
/// test). The run context holds its transcript and the stop request.
class TRemoteEngine
{
public:
    /// Awaited-text limit of one WaitForText, in milliseconds from the start of the wait.
    static constexpr int DefaultReadTimeOut = 5000;
    /// How long a change whose end was unclear after the new password went out waits for passwd to end.
    static constexpr int DefaultCommandEndWait = 10000;
    /// Bytes taken from each output stream per pass of WaitForText.
    static constexpr int ReadChunkBytes = 1024;
    /// Host output one wait keeps: its first KeptOutputHeadBytes and its latest bytes; what lies
    /// between is counted, not recorded.
    static constexpr qsizetype MaxKeptOutputBytes = 64 * 1024;
    static constexpr qsizetype KeptOutputHeadBytes = 16 * 1024;

    /// An engine with an SSH shell of its own.
    explicit TRemoteEngine(TRunContext& run);
    /// An engine on shell (not owned), e.g. a host's shared manager connection or a test's script.
    TRemoteEngine(TRunContext& run, TRemoteShell& shell);
    ~TRemoteEngine();
    TRemoteEngine(const TRemoteEngine&) = delete;
    TRemoteEngine& operator=(const TRemoteEngine&) = delete;

    /// Opens a session to request.address:port as request.loginName and starts request.command; an
    /// empty command probes the login with "echo 2009" and closes again. Fills status with code 0
    /// (no TCP connection), 1 (connected, but no login; also a changed host key, whose Detail names
    /// the known_hosts line to remove) or 2 (logged in, command started; it may have ended already).
    /// HostUnreachable tells a host that took no connection or sent no SSH greeting. An empty login
    /// name gives code 1 without connecting. Never throws.
    void SSHLogin(const TLoginRequest& request, TActionStaus& status);

    /// Waits until expected (letters A to Z folded) appears in the channel output received during this
    /// wait, for at most ReadTimeOut ms from its start; everything received (lower-cased) becomes one
    /// transcript entry on every way out. Returns true on a match; otherwise throws RemoteError with
    /// "Cancelled by user. ", "Receive data timeout.", the received text (the host ended the command
    /// after printing it), "Connection is closed." or the transport's message.
    bool WaitForText(const QString& expected);

    /// Sends text followed by one CR on the channel; nothing is recorded. Throws RemoteError with the
    /// transport's message when the session cannot take it.
    void SendLine(const SecretBuffer& text);

    /// Ends the session, if any, connection included.
    void CloseSession();
    /// Whether a session with its command channel is open.
    bool SessionActive();

    /// Changes a password through passwd as request says (the user's own login running "passwd", or
    /// the manager's running "passwd NAME"). Fills status: Code 4 and PasswordChanged on success, 0 to
    /// 3 on failure with Detail saying why; NewPasswordSent once the new password went out. The
    /// command is always ended afterwards; a reusable connection stays open. Never throws.
    void ChangeUserPassword(const TChangeRequest& request, TActionStaus& status);

    /// Reads account's password hash as the manager sees it: runs "getent shadow ACCOUNT" as
    /// managerLogin (on its kept connection when managerLogin.reuseConnection), behind sudo or inside
    /// su as elevation says, answers their password prompt with elevationPassword, and reads until the
    /// command ends. True with hash = field 2 of the line whose field 1 is account; false with problem
    /// saying in one sentence why not (the login, "sudo refused: ...", permission denied, no such
    /// account, no getent). The transcript records that the entry was read, never its text. Never throws.
    bool ReadShadowHash(const TLoginRequest& managerLogin, TElevation elevation, const SecretBuffer& elevationPassword,
                        const QString& account, QString& hash, QString& problem);

    TRemoteShell& Shell() { return *m_shell; }

    /// Limit of one WaitForText in milliseconds.
    int ReadTimeOut = DefaultReadTimeOut;
    /// Limit of the wait for passwd's end after an unclear end, in milliseconds.
    int CommandEndWait = DefaultCommandEndWait;

private:
    /// Adds one wait's output to the transcript, with every secret of the conversation hidden.
    void recordOutput(const QByteArray& received, qsizetype dropped);
    static QString shownOutput(const QByteArray& redacted, qsizetype dropped);
    void endCommand(bool keepConnection);
    /// Waits as WaitForText for the first of expected to appear and returns its index; a text of
    /// failures that appears first throws RemoteError with the host's line. With endIsAnAnswer the
    /// command's end returns -1 instead of throwing.
    /// With atPromptOnly an expected text counts only where the host waits (nothing follows it on its line).
    int waitFor(const QStringList& expected, const QStringList& failures, bool endIsAnAnswer,
                bool atPromptOnly = false);
    /// The change dialog after the login; throws RemoteError with the reason of a failure.
    void changeDialog(const TChangeRequest& request, TActionStaus& status);
    /// After the probe command started: acLoginSucceeded once "2009" came back, else acLoginFailed
    /// with the reason in status.Detail (an expired password in the host's own words).
    std::uint8_t proveProbe(TActionStaus& status);
    /// Takes the output the host has sent so far without waiting, into the transcript.
    void takeWhatIsThere();
    /// The exit status of a command that has ended; -1 when the host never told it.
    int exitStatusOfEndedCommand();
    /// After an unclear end of a change that sent the new password: waits up to CommandEndWait ms for
    /// the command to end (its exit status or the channel's close), taking what it prints into the
    /// transcript, so that a slow host has written the password before anyone checks it.
    void awaitCommandEnd();
    /// Runs request's command as ReadShadowHash does and takes all it prints, unrecorded, into output
    /// (what came after the last password answer); elevation's prompt is answered once with password.
    /// Empty, or why the command could not be run to its end (the login, a second prompt, the time).
    QString runQuietly(const TLoginRequest& request, TElevation elevation, const SecretBuffer& password,
                       QByteArray& output, int& exitStatus);

    TRunContext& m_run;
    std::unique_ptr<TRemoteShell> m_ownShell;
    TRemoteShell* m_shell;
    TranscriptRedactor m_redactor;
    QList<int> m_outputEntries;
    QList<qsizetype> m_outputDropped;
    /// Of the last wait: whether a failure text ended it, the line its expected text stood on, and the
    /// non-blank line before that.
    bool m_lastWaitRefused = false;
    /// Answers typed since the command started.
    int m_linesSent = 0;
    QByteArray m_matchedLine;
    QByteArray m_lineBeforeMatch;
};

/// A failed step of a remote conversation; the message is the text shown to the user.
class RemoteError : public std::runtime_error
{
public:
    explicit RemoteError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
