#pragma once

#include <QString>

#include <optional>

/// A host as scripts name it: ADDRESS[:PORT], port 22 when none is given. An IPv6 address takes
/// brackets when a port follows ([::1]:2222); without brackets it is read as a whole address, and
/// only when it is one: any other text with several colons is refused.
struct CliHostAddress
{
    static constexpr int DefaultPort = 22;

    QString address;
    int port = DefaultPort;

    /// Parses text; nullopt when the address is empty or the port is not a number from 1 to 65535.
    static std::optional<CliHostAddress> parse(const QString& text);
    /// Parses text or throws a usage error that quotes it.
    static CliHostAddress parseOrThrow(const QString& text);
    /// Reads a port text: empty gives 22; nullopt when it is not a number from 1 to 65535.
    static std::optional<int> parsePort(const QString& text);

    /// ADDRESS:PORT, the way the host tree and the Logs rows write it; an IPv6 address in brackets
    /// ([::1:2222]:22), so that where the address ends is plain to see.
    QString toString() const
    {
        const QString shown =
            address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']') : address;
        return shown + QLatin1Char(':') + QString::number(port);
    }
    bool operator==(const CliHostAddress&) const = default;
};
