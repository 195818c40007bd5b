#include "tools/CliHostAddress.h"

#include "core/Platform.h"
#include "tools/CliError.h"

std::optional<int> CliHostAddress::parsePort(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return DefaultPort;
    for (const QChar c : trimmed)
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    bool ok = false;
    const int port = trimmed.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

std::optional<CliHostAddress> CliHostAddress::parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    CliHostAddress host;
    QString portText;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host.address = trimmed.mid(1, close - 1);
        const QString rest = trimmed.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')) || rest.size() == 1)
                return std::nullopt;
            portText = rest.mid(1);
        }
    } else if (trimmed.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
        host.address = trimmed.left(colon);
        portText = trimmed.mid(colon + 1);
        if (portText.isEmpty())
            return std::nullopt;
    } else {
        // Several colons without brackets: only a whole IPv6 address may be read so ("::1:2222" is one,
        // on port 22); anything else is ambiguous and refused.
        if (trimmed.count(QLatin1Char(':')) > 1 && !Platform::IsIPv6Address(trimmed))
            return std::nullopt;
        host.address = trimmed;
    }
    if (host.address.isEmpty())
        return std::nullopt;
    const std::optional<int> port = parsePort(portText);
    if (!port)
        return std::nullopt;
    host.port = *port;
    return host;
}

CliHostAddress CliHostAddress::parseOrThrow(const QString& text)
{
    const std::optional<CliHostAddress> host = parse(text);
    const QString trimmed = text.trimmed();
    if (!host && !trimmed.startsWith(QLatin1Char('[')) && trimmed.count(QLatin1Char(':')) > 1) {
        const qsizetype last = trimmed.lastIndexOf(QLatin1Char(':'));
        throw CliError::usage(QStringLiteral("'%1' has several colons but is no IPv6 address: write an IPv6 "
                                             "address with a port in brackets, such as [%2]:%3")
                                  .arg(text, trimmed.left(last), trimmed.mid(last + 1)));
    }
    if (!host)
        throw CliError::usage(
            QStringLiteral("'%1' is not a host: write ADDRESS or ADDRESS:PORT with a port from 1 to 65535").arg(text));
    return *host;
}
