#pragma once

// The loopback SMTP server that tests/servers/smtp/start.sh runs for the mail tests, and helpers to
// read what it received. The values repeat tests/servers/smtp/settings.sh; keep both in step.
//
// Port and MailTestsPort require AUTH (LOGIN and PLAIN offered in clear text, no STARTTLS) with
// Account and Password. The TLS ports, for tests/mail alone, offer AUTH without requiring it (so a
// mail without an account arrives) and never insist on TLS before AUTH, so a client that logs in too
// early shows in AuthCommands: StartTlsPort offers STARTTLS, TlsPort speaks TLS from the first byte,
// OtherNameStartTlsPort offers STARTTLS with a certificate made out for OtherName. AuthAfterTlsPort,
// set up like many real relays, offers STARTTLS and AUTH only inside TLS, and refuses a recipient as
// relaying ("Relay access denied") unless the client logged in. Their certificates come from the
// throw-away authority in CaFile, which no system store trusts.
//
// Each port keeps its own records: every accepted message becomes a JSON file in MailDir(port)
// (envelope, "tls", mechanism, login, raw data, and the headers and body as Python's mail parser
// reads them), every connection notes "open" and "closed" in ConnectionsLog(port), and every AUTH
// command notes whether it came over TLS, every MAIL command is counted in EnvelopesLog(port). Port is shared by all
// test areas; the others belong to tests/mail alone, which count connections. A recipient address that starts with
// "refused" is refused with 550.

#include <QJsonObject>
#include <QList>
#include <QString>

namespace MailTestServer {

inline const QString Address = QStringLiteral("127.0.0.6");
inline constexpr int Port = 2525;
inline constexpr int MailTestsPort = 2526;
inline constexpr int StartTlsPort = 2527;
inline constexpr int TlsPort = 2528;
inline constexpr int OtherNameStartTlsPort = 2529;
inline constexpr int AuthAfterTlsPort = 2530;
inline const QString OtherName = QStringLiteral("mail.elsewhere.test");
inline const QString Account = QStringLiteral("vtst_mail");
inline const QString Password = QStringLiteral("Mail-Pass#2026");
inline const QString WorkDir = QStringLiteral("/tmp/veltrane-smtp");
inline QString MailDir(int port = Port)
{
    return WorkDir + QStringLiteral("/%1/mail").arg(port);
}
inline QString ConnectionsLog(int port = Port)
{
    return WorkDir + QStringLiteral("/%1/connections.log").arg(port);
}
inline QString AuthLog(int port = Port)
{
    return WorkDir + QStringLiteral("/%1/auth.log").arg(port);
}
inline QString EnvelopesLog(int port = Port)
{
    return WorkDir + QStringLiteral("/%1/envelopes.log").arg(port);
}
inline const QString CaFile = WorkDir + QStringLiteral("/tls/ca.pem");

/// Nothing listens on this address and port.
inline const QString ClosedAddress = QStringLiteral("127.0.0.4");

/// Whether a TCP connection to address:port opens within a second.
bool IsListening(const QString& address, int port);

/// The names of the messages stored for port, oldest first.
QStringList ReceivedMailNames(int port = Port);
/// One stored message.
QJsonObject ReadMail(const QString& name, int port = Port);

/// One entry per AUTH command received on port, oldest first: "tls" or "clear".
QStringList AuthCommands(int port = Port);
/// How many MAIL commands (envelopes begun) port has received.
int MailCommands(int port = Port);

/// How many connections the server has seen opened and closed so far.
struct ConnectionCounts
{
    int opened = 0;
    int closed = 0;
};
ConnectionCounts Connections(int port = Port);
/// Waits up to timeoutMs until every opened connection is closed; returns the last counts.
ConnectionCounts WaitUntilAllClosed(int timeoutMs, int port = Port);

/// A loopback TCP port that accepts connections in the kernel but never says a word.
class SilentListener
{
public:
    /// fillBacklog: also occupy the one-entry backlog so that the next connection attempt hangs.
    explicit SilentListener(bool fillBacklog = false);
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const { return m_port; }
    bool ok() const { return m_port > 0; }

private:
    int m_listener = -1;
    int m_filler = -1;
    int m_port = 0;
};

} // namespace MailTestServer
