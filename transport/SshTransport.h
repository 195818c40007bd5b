#pragma once

#include "core/SecretBuffer.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

/// What one OpenSession needs.
struct SshOpenParams
{
    QString address;
    int port = 22;
    QString username;
    SecretBuffer password;
    /// The one remote command, started on a channel with a "vt100" 80x24 pseudo-terminal.
    QString command;
    /// Limit of the TCP connect.
    int socketTimeoutMs = 5000;
    /// Once connected, the open fails when nothing arrives from the server for this long.
    int idleTimeoutMs = 15000;
    /// OpenSSH-format known_hosts file: the first connection to a host and port records its key,
    /// a later connection with a different key fails before authentication.
    QString knownHostsPath;
    /// A private key file to log in with (OpenSSH or PEM format, any type libssh reads) and its
    /// passphrase; empty: keys of a running ssh-agent when useAgent, then the password.
    QString keyPath;
    SecretBuffer keyPassphrase;
    bool useAgent = true;
    /// A host whose key is not yet recorded is refused (SshError UnknownHost) instead of recorded.
    bool refuseUnknownHost = false;
    /// Variables asked for on the command channel (LC_ALL=C, say); a server may refuse them, which
    /// EnvironmentAccepted() then tells.
    QList<QPair<QByteArray, QByteArray>> environment;
    /// The command to run instead when the server refuses part of environment (empty: command as it is).
    QString commandIfEnvironmentRefused;
    /// Start the command on a new channel of the open connection when that connection is to the same
    /// address and port, as the same account with the same password; otherwise (or when the channel
    /// cannot be opened there) log in afresh.
    bool reuseConnection = false;
};

/// A failed transport operation. The message is readable; kind tells callers what happened.
class CancelSignal;

class SshError : public std::runtime_error
{
public:
    enum class Kind
    {
        Failed,          ///< connect, handshake, authentication, channel or I/O failure
        Cancelled,       ///< the message loop asked to stop; the message contains "501"
        HostKeyChanged,  ///< the server's key differs from the recorded one; the message says what to do
        Refused,         ///< the server refused every offered password for the account
        Silent,          ///< connected, but not a byte arrived within the idle limit (no SSH server)
        KnownHostsFile,  ///< the known-hosts file could not be read or written; the message names it
        UnknownHost,     ///< the host's key is not recorded and unknown hosts are refused
        KeyFile,         ///< the private key file could not be read or its passphrase is wrong; the message names it
        PasswordExpired, ///< the account's password has expired: the host asks for a new one at login
    };
    SshError(Kind kind, const QString& message) : std::runtime_error(message.toStdString()), m_kind(kind) {}
    Kind kind() const { return m_kind; }
    QString message() const { return QString::fromStdString(what()); }

private:
    Kind m_kind;
};

/// A thin RAII client over libssh: one connection with one command channel at a time, non-blocking
/// all the way. Its waits block on the socket and on the cancel signal, never longer than a limit.
/// One transport belongs to one thread at a time.
class SshTransport
{
public:
    SshTransport();
    ~SshTransport();
    SshTransport(const SshTransport&) = delete;
    SshTransport& operator=(const SshTransport&) = delete;

    /// Raising the signal abandons an open in progress (SshError Cancelled) and ends WaitOutput.
    void setCancelSignal(std::shared_ptr<const CancelSignal> cancel);

    /// Connects, checks the host key, authenticates (keyboard-interactive first when offered, then
    /// password), opens the session channel with its pseudo-terminal and starts the command.
    /// Throws SshError on any failure; CanConnectSocket() then tells whether TCP was established.
    void OpenSession(const SshOpenParams& params);
    /// Ends channel and connection and drops buffered output; harmless when nothing is open.
    void CloseSession() noexcept;
    /// Ends the command channel only; the connection stays for a later open that reuses it.
    void CloseChannel() noexcept;
    /// Whether the last OpenSession ran its command on a connection that was already open.
    bool ReusedConnection() const;
    /// After an open: the server's key as "TYPE SHA256:FINGERPRINT", and whether this open recorded it
    /// in known_hosts (the first contact).
    QString ServerKey() const;
    bool RecordedServerKey() const;
    /// After an open: whether the server took every variable of params.environment.
    bool EnvironmentAccepted() const;
    /// Connected and the command channel open; false once the host closed the channel.
    bool SessionActive();
    /// After an open: whether its TCP connection was established.
    bool CanConnectSocket() const;
    /// Processes whatever arrived without blocking; true when channel output is buffered.
    bool PollOutput();
    /// Blocks until channel output is buffered, the channel or connection ends, the cancel signal is
    /// raised or maxMs pass, whichever comes first; true when output is buffered.
    bool WaitOutput(int maxMs);
    /// The command's exit status once the host reported it; -1 before or when it never does.
    int ExitStatus();
    /// Takes up to maxBytes of buffered channel output and of extended (error-stream) output.
    /// Throws SshError when reading fails.
    void ReadOutput(int maxBytes, QByteArray& channelOutput, QByteArray& extendedOutput);
    /// Sends bytes to the command's input; throws SshError when not connected.
    void WriteInput(const QByteArray& bytes);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
