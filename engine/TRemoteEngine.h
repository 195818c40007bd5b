#pragma once

#include "core/TdmPublic.h"
#include "engine/TActionStaus.h"
#include "transport/SshTransport.h"

#include <functional>

/// The remote password engine: SSH login probe, the prompt conversation primitives and the
/// password change. Lives as long as the data module it works with (its transcript, cancel flag,
/// progress and message loop).
class TRemoteEngine
{
public:
    /// Sends the notice mail after a successful change (the batch layer provides it).
    using NoticeMailSender = std::function<void(const TUser&, TActionStaus&, const ProgressCallback&)>;

    explicit TRemoteEngine(TdmPublic& dm);
    ~TRemoteEngine();

    /// Opens a session to user.HostIP:HostPort as user.LoginName with the deciphered user.pwNow and
    /// starts command; an empty command probes the login with "echo 2009" and closes again. Never throws.
    void SSHLogin(const TUser& user, const QString& command, TActionStaus& status, const ProgressCallback& progress);
    /// Waits until expected (A to Z folded) appears in the channel output; throws RemoteError otherwise.
    bool WaitForText(const QString& expected);
    /// Sends text followed by one CR; nothing is recorded.
    void SendLine(const SecretBuffer& text);
    void CloseSession();
    bool SessionActive();

    /// Changes user's password on its host through passwd. Never throws; success is Code 4.
    void ChangeUserPassword(const TUser& user, TOperationOptions options, TActionStaus& status,
                            const ProgressCallback& progress);
    void SetNoticeMailSender(NoticeMailSender sender);

    /// The known_hosts file beside the executable.
    QString KnownHostsPath() const;

    SshTransport SSHClient;

private:
    TdmPublic& m_dm;
    NoticeMailSender m_noticeMail;
};

/// A failed step of a remote conversation; the message is the text shown to the user.
class RemoteError : public std::runtime_error
{
public:
    explicit RemoteError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
