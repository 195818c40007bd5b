#pragma once

#include <QList>
#include <QString>

/// Reads an OpenSSH-format known_hosts file to tell the user which entry to remove when a host's
/// key has changed.
class KnownHostsFile
{
public:
    /// The name a host is recorded under: "address" for port 22, "[address]:port" otherwise.
    static QString HostPattern(const QString& address, int port);
    /// Line numbers (from 1) of the entries that name the host and port, hashed entries included;
    /// empty when the file cannot be read or holds none.
    static QList<int> LinesFor(const QString& path, const QString& address, int port);
    /// The error text for a changed host key: what happened, that it may be an attack, and which
    /// lines of which file to remove when the change is expected.
    static QString ChangedKeyMessage(const QString& path, const QString& address, int port);
};
