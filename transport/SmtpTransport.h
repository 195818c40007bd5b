#pragma once

#include "core/SecretBuffer.h"
#include "transport/SmtpMessage.h"

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
    int connectTimeoutMs = 5000;
    /// Longest wait for any one reply of the server.
    int readTimeoutMs = 5000;
};

/// The moments of a delivery worth telling the user about, in the order they happen.
enum class SmtpStage
{
    Connecting,     ///< about to open the connection
    Authenticating, ///< the server has greeted and answered EHLO; the login comes next
    Sending,        ///< the envelope (MAIL FROM) goes out; recipients and data follow
};

/// How a delivery ended.
struct SmtpOutcome
{
    bool sent = false;
    /// Why it failed, readable by the user; empty after success.
    QString message;
};

/// Delivers one message over SMTP with libcurl, logging in with SASL LOGIN. Blocks the calling
/// thread but keeps it alive: between short waits on the socket it calls the pump callback.
class SmtpTransport
{
public:
    using StageCallback = std::function<void(SmtpStage)>;
    using PumpCallback = std::function<void()>;

    /// Validates the message (a failure never connects), then connects, logs in, sends and closes
    /// the connection again in every case. Each stage is reported once, in order.
    SmtpOutcome Send(const SmtpServer& server, const SmtpMessage& message, const StageCallback& stage,
                     const PumpCallback& pump);
};
