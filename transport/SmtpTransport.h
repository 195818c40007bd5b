#pragma once

#include "core/SecretBuffer.h"
#include "transport/SmtpMessage.h"
#include "transport/SmtpSecurity.h"

#include <QString>

#include <functional>

/// Where and as whom a mail is delivered.
struct SmtpServer
{
    QString host;
    int port = 25;
    /// Empty: the server is used without logging in.
    QString account;
    SecretBuffer password;
    /// STARTTLS by default: nothing, least of all the password, goes out unless TLS is up.
    SmtpSecurity security = SmtpSecurity::StartTls;
    /// PEM file of the certificate authorities trusted instead of the system's store; empty: the
    /// system's store.
    QString caFile;
    int connectTimeoutMs = 5000;
    /// Longest wait for any one reply of the server.
    int readTimeoutMs = 5000;
};

/// The moments of a delivery worth telling the user about, in the order they happen.
enum class SmtpStage
{
    Connecting,     ///< about to open the connection
    Authenticating, ///< the login goes out (only with an account, after STARTTLS when it is used)
    Sending,        ///< the envelope (MAIL FROM) goes out; recipients and data follow
};

/// How a delivery ended.
struct SmtpOutcome
{
    bool sent = false;
    /// Why it failed, readable by the user; empty after success.
    QString message;
};

/// Delivers one message over SMTP with libcurl, protected as the server's security says, logging in
/// with SASL LOGIN. Blocks the calling thread but keeps it alive: between short waits on the socket
/// it calls the pump callback.
class SmtpTransport
{
public:
    using StageCallback = std::function<void(SmtpStage)>;
    using PumpCallback = std::function<void()>;

    /// Validates the message and the server's settings (a failure never connects), then connects,
    /// starts TLS, logs in, sends and closes the connection again in every case. Each stage is
    /// reported once, in order. With an account set nothing is sent unless the login happened: a
    /// server that offers no AUTH (or offers it only after STARTTLS) fails the mail before MAIL FROM.
    SmtpOutcome Send(const SmtpServer& server, const SmtpMessage& message, const StageCallback& stage,
                     const PumpCallback& pump);
};
