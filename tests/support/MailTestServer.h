#pragma once

// The loopback SMTP server that tests/servers/smtp/start.sh runs for the mail tests, and helpers to
// read what it received. The values repeat tests/servers/smtp/settings.sh; keep both in step.
//
// It requires AUTH (LOGIN and PLAIN offered, no TLS) with Account and Password. Each port keeps its
// own records: every accepted message becomes a JSON file in MailDir(port) (envelope, mechanism,
// login, raw data, and the headers and body as Python's mail parser reads them), and every
// connection notes "open" and "closed" in ConnectionsLog(port). Port is shared by all test areas;
// MailTestsPort belongs to tests/mail alone, which count connections. A recipient address that
// starts with "refused" is refused with 550.

#include <QJsonObject>
#include <QList>
#include <QString>

namespace MailTestServer {

inline const QString Address = QStringLiteral("127.0.0.6");
inline constexpr int Port = 2525;
inline constexpr int MailTestsPort = 2526;
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

/// Nothing listens on this address and port.
inline const QString ClosedAddress = QStringLiteral("127.0.0.4");

/// Whether a TCP connection to address:port opens within a second.
bool IsListening(const QString& address, int port);

/// The names of the messages stored for port, oldest first.
QStringList ReceivedMailNames(int port = Port);
/// One stored message.
QJsonObject ReadMail(const QString& name, int port = Port);

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
