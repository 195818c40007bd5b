#include "tests/support/MailTestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace MailTestServer {

namespace {

sockaddr_in loopbackAddress(const QString& address, int port)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(quint16(port));
    inet_pton(AF_INET, address.toLatin1().constData(), &where.sin_addr);
    return where;
}

} // namespace

bool IsListening(const QString& address, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const sockaddr_in where = loopbackAddress(address, port);
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        connected =
            poll(&waiting, 1, 1000) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    close(fd);
    return connected;
}

QStringList ReceivedMailNames(int port)
{
    return QDir(MailDir(port)).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
}

QJsonObject ReadMail(const QString& name, int port)
{
    QFile file(MailDir(port) + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QStringList AuthCommands(int port)
{
    QFile file(AuthLog(port));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int MailCommands(int port)
{
    QFile file(EnvelopesLog(port));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count("mail\n"));
}

ConnectionCounts Connections(int port)
{
    ConnectionCounts counts;
    QFile file(ConnectionsLog(port));
    if (!file.open(QIODevice::ReadOnly))
        return counts;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line == "open")
            ++counts.opened;
        else if (line == "closed")
            ++counts.closed;
    }
    return counts;
}

ConnectionCounts WaitUntilAllClosed(int timeoutMs, int port)
{
    QElapsedTimer timer;
    timer.start();
    ConnectionCounts counts = Connections(port);
    while (counts.closed < counts.opened && timer.elapsed() < timeoutMs) {
        QThread::msleep(20);
        counts = Connections(port);
    }
    return counts;
}

SilentListener::SilentListener(bool fillBacklog)
{
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where = loopbackAddress(QStringLiteral("127.0.0.1"), 0);
    socklen_t length = sizeof where;
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        listen(m_listener, 0) != 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&where), &length) != 0)
        return;
    if (fillBacklog) {
        // A backlog of 0 holds one finished handshake; with it taken, the kernel drops new SYNs.
        m_filler = socket(AF_INET, SOCK_STREAM, 0);
        if (m_filler < 0 || ::connect(m_filler, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0)
            return;
    }
    m_port = ntohs(where.sin_port);
}

SilentListener::~SilentListener()
{
    if (m_filler >= 0)
        close(m_filler);
    if (m_listener >= 0)
        close(m_listener);
}

} // namespace MailTestServer
