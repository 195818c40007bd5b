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
    /// Once connected, the open fails when nothing arrives from the server for this long, and when its SSH
    /// version line has not come this long after the connect (whatever else it sent).
    int idleTimeoutMs = 15000;
    /// OpenSSH-format known_hosts file: the first connection to a host and port records its key,
    /// a later connection with a different key fails before authentication.
    QString knownHostsPath;
    /// A private key file to log in with (OpenSSH or PEM format, any type libssh reads) and its
    /// passphrase; empty: keys of a running ssh-agent when useAgent, then the password.
    QString keyPath;
    SecretBuffer keyPassphrase;
    bool useAgent = false;
    /// The login is the proof of password: only keyboard-interactive and password are tried (no key, no
    /// agent), and a server that lets the account in without asking for it fails the open (NoPassword).
    bool passwordOnly = false;
    /// Also offer SHA-1 host keys and signatures (ssh-rsa), SHA-1 key exchanges and hmac-sha1, for old
    /// systems that know nothing newer; off, such a host fails with a sentence that says so.
    bool legacyAlgorithms = false;
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
        Silent,          ///< connected, but no SSH version line within the idle limit (no SSH server)
        KnownHostsFile,  ///< the known-hosts file could not be read or written; the message names it
        UnknownHost,     ///< the host's key is not recorded and unknown hosts are refused
        KeyFile,         ///< the private key file could not be read or its passphrase is wrong; the message names it
        PasswordExpired, ///< the account's password has expired: the host asks for a new one at login
        NoPassword,      ///< a password-only login was let in without any password: nothing was proven
        BadLoginName,    ///< the login name cannot be used over SSH (libssh refuses it); nothing was sent
    };
    SshError(Kind kind, const QString& message) : std::runtime_error(message.toStdString()), m_kind(kind) {}
    Kind kind() const { return m_kind; }
    QString message() const { return QString::fromStdString(what()); }

private:
    Kind m_kind;
};

/// The cause of a failed connect, handshake or login as one sentence, read from libssh's error text
/// (algorithms in common, too many attempts, a refused or closed connection, no SSH greeting); empty
/// when the text names none of them. legacyAllowed: SHA-1 algorithms were offered already.
QString SshFailureCause(const QString& libsshText, bool legacyAllowed);

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
    /// password), opens the session channel with its pseudo-terminal (without one where the host
    /// refuses it) and starts the command. Throws SshError on any failure, whose message for Failed and
    /// Refused is one sentence with the cause; CanConnectSocket() then tells whether TCP was established.
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
    /// After an open: whether the command runs on a pseudo-terminal. A host that refuses one
    /// (PermitTTY no) runs it on plain pipes: its prompts may come on the error stream, and lines it
    /// reads end in LF, not CR.
    bool HasTerminal() const;
    /// After an open: the command that was started (params.command or its environment fallback).
    QString StartedCommand() const;
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
