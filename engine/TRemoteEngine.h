#pragma once

#include "core/TdmPublic.h"
#include "engine/TActionStaus.h"
#include "engine/TranscriptRedactor.h"
#include "transport/SshTransport.h"

#include <QString>

#include <functional>
#include <stdexcept>

/// The remote password engine: SSH login probe, the prompt conversation primitives and the
/// password change. Lives as long as the data module it works with (its transcript, cancel flag,
/// progress and message loop).
class TRemoteEngine
{
public:
    /// Sends the notice mail after a successful change (the batch layer provides it). It receives the
    /// status of the change (Code 4) and replaces Code, Text and Detail with the mail's outcome;
    /// status.PasswordChanged stays true afterwards whatever it does.
    using NoticeMailSender = std::function<void(const TUser&, TActionStaus&, const ProgressCallback&)>;

    /// Awaited-text limit of one WaitForText, in milliseconds from the start of the wait.
    static constexpr int DefaultReadTimeOut = 5000;
    /// Bytes taken from each output stream per pass of WaitForText.
    static constexpr int ReadChunkBytes = 1024;
    /// Host output one wait keeps: its first KeptOutputHeadBytes and its latest bytes; what lies
    /// between is counted, not recorded.
    static constexpr qsizetype MaxKeptOutputBytes = 64 * 1024;
    static constexpr qsizetype KeptOutputHeadBytes = 16 * 1024;

    /// Binds the engine to dm and gives the transport dm.SSHClientMessageLoop() as its wait handler.
    explicit TRemoteEngine(TdmPublic& dm);
    ~TRemoteEngine();
    TRemoteEngine(const TRemoteEngine&) = delete;
    TRemoteEngine& operator=(const TRemoteEngine&) = delete;

    /// Opens a session to user.HostIP:HostPort as user.LoginName with the deciphered user.pwNow and
    /// starts command; an empty command probes the login with "echo 2009" and closes again. Fills
    /// status with code 0 (no TCP connection), 1 (connected, but no login; also a changed host key,
    /// whose Detail names the known_hosts line to remove) or 2 (logged in, command started; it may
    /// have ended already). An empty login name gives code 1 without connecting. Never throws.
    void SSHLogin(const TUser& user, const QString& command, TActionStaus& status, const ProgressCallback& progress);

    /// Waits until expected (letters A to Z folded) appears in the channel output received during this
    /// wait, for at most ReadTimeOut ms from its start; everything received (lower-cased) becomes one
    /// transcript entry on every way out. Returns true on a match; otherwise throws RemoteError with
    /// "Cancelled by user. ", "Receive data timeout.", the received text (the host ended the command
    /// after printing it), "Connection is closed." or the transport's message.
    bool WaitForText(const QString& expected);

    /// Sends text followed by one CR on the channel; nothing is recorded. Throws RemoteError with the
    /// transport's message when the session cannot take it.
    void SendLine(const SecretBuffer& text);

    /// Ends the session, if any.
    void CloseSession();
    /// Whether a session with its command channel is open.
    bool SessionActive();

    /// Changes user's password on its host through passwd, logging in as the user ("passwd") or, when
    /// the host uses its manager account or options hold ooLoginAsManager, as the manager
    /// ("passwd NAME"). Fills status (Code 4 on success, 0 to 3 on failure with Detail saying why);
    /// the session is always closed afterwards. With ooSendNoticeMail and a sender installed, a
    /// successful change is followed by the notice mail, whose outcome replaces Code; PasswordChanged
    /// then still tells that the change succeeded. Never throws.
    void ChangeUserPassword(const TUser& user, TOperationOptions options, TActionStaus& status,
                            const ProgressCallback& progress);

    /// Installs the notice-mail follow-up of ChangeUserPassword (none by default).
    void SetNoticeMailSender(NoticeMailSender sender);

    /// The known_hosts file beside the executable.
    QString KnownHostsPath() const;

    SshTransport SSHClient;
    /// Limit of one WaitForText in milliseconds.
    int ReadTimeOut = DefaultReadTimeOut;

private:
    /// Adds one wait's output to the transcript, with every secret of the conversation hidden.
    void recordOutput(const QByteArray& received, qsizetype dropped);
    static QString shownOutput(const QByteArray& redacted, qsizetype dropped);

    TdmPublic& m_dm;
    NoticeMailSender m_noticeMail;
    TranscriptRedactor m_redactor;
    QList<int> m_outputEntries;
    QList<qsizetype> m_outputDropped;
};

/// A failed step of a remote conversation; the message is the text shown to the user.
class RemoteError : public std::runtime_error
{
public:
    explicit RemoteError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
