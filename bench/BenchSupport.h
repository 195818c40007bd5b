#pragma once

// Small helpers shared by the engine benchmarks: timing, medians and running reference clients.

#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

namespace Bench {

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

/// Runs program with arguments and returns the wall time in milliseconds, or -1 when it failed.
inline double TimedRun(const QString& program, const QStringList& arguments, int limitMs = 30000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(limitMs) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAll().constData());
        return -1;
    }
    return clock.nsecsElapsed() / 1e6;
}

/// Listening sockets that never accept: the kernel completes the TCP handshake, no SSH greeting follows.
inline QList<int> SilentPorts(int count, QList<int>& sockets)
{
    QList<int> ports;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 16) != 0)
            return {};
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ports << ntohs(address.sin_port);
        sockets << fd;
    }
    return ports;
}

} // namespace Bench
