#pragma once

#include "core/SecretBuffer.h"

#include <QByteArray>
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
};

/// A failed transport operation. The message is readable; kind tells callers what happened.
class SshError : public std::runtime_error
{
public:
    enum class Kind
    {
        Failed,         ///< connect, handshake, authentication, channel or I/O failure
        Cancelled,      ///< the message loop asked to stop; the message contains "501"
        HostKeyChanged, ///< the server's key differs from the recorded one; the message says what to do
        Refused,        ///< the server refused every offered password for the account
        Silent,         ///< connected, but not a byte arrived within the idle limit (no SSH server)
        KnownHostsFile, ///< the known-hosts file could not be read or written; the message names it
    };
    SshError(Kind kind, const QString& message) : std::runtime_error(message.toStdString()), m_kind(kind) {}
    Kind kind() const { return m_kind; }
    QString message() const { return QString::fromStdString(what()); }

private:
    Kind m_kind;
};

/// A thin RAII client over libssh: one session with one command channel at a time, non-blocking
/// all the way, calling the message loop on every wait step.
class SshTransport
{
public:
    /// Called on every wait step of OpenSession; returning false abandons the open (SshError Cancelled).
    using MessageLoop = std::function<bool()>;

    SshTransport();
    ~SshTransport();
    SshTransport(const SshTransport&) = delete;
    SshTransport& operator=(const SshTransport&) = delete;

    void setMessageLoop(MessageLoop loop);

    /// Connects, checks the host key, authenticates (keyboard-interactive first when offered, then
    /// password), opens the session channel with its pseudo-terminal and starts the command.
    /// Throws SshError on any failure; CanConnectSocket() then tells whether TCP was established.
    void OpenSession(const SshOpenParams& params);
    /// Ends channel and connection and drops buffered output; harmless when nothing is open.
    void CloseSession() noexcept;
    /// Connected and the command channel open; false once the host closed the channel.
    bool SessionActive();
    /// After an open: whether its TCP connection was established.
    bool CanConnectSocket() const;
    /// Processes whatever arrived without blocking; true when channel output is buffered.
    bool PollOutput();
    /// Takes up to maxBytes of buffered channel output and of extended (error-stream) output.
    /// Throws SshError when reading fails.
    void ReadOutput(int maxBytes, QByteArray& channelOutput, QByteArray& extendedOutput);
    /// Sends bytes to the command's input; throws SshError when not connected.
    void WriteInput(const QByteArray& bytes);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
