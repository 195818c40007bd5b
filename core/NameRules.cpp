#include "core/NameRules.h"

#include "core/Platform.h"

namespace {

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control;
}

bool isHostNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '-' ||
           u == '_';
}

bool isBracketed(const QString& address)
{
    return address.size() > 2 && address.front() == QLatin1Char('[') && address.back() == QLatin1Char(']');
}

} // namespace

QString LoginNameProblem(const QString& name, const QString& field)
{
    if (name.isEmpty())
        return QStringLiteral("%1 is empty. ").arg(field);
    for (const QChar c : name)
        if (isControl(c))
            return QStringLiteral("%1 contains a control character (a line break, a tab or the like). ").arg(field);
    for (const QChar c : name)
        if (c.isSpace())
            return QStringLiteral("%1 contains white space. ").arg(field);
    if (name.front() == QLatin1Char('-'))
        return QStringLiteral("%1 starts with \"-\", which the host would take for an option. ").arg(field);
    if (name.toUtf8().size() > MaxNameBytes)
        return QStringLiteral("%1 is longer than %2 bytes. ").arg(field).arg(MaxNameBytes);
    return QString();
}

QString HostAddressProblem(const QString& address, const QString& field)
{
    if (const QString problem = LoginNameProblem(address, field); !problem.isEmpty())
        return problem;
    if (isBracketed(address) ? Platform::IsIPv6Address(address.mid(1, address.size() - 2))
                             : Platform::IsIPv6Address(address))
        return QString();
    for (const QChar c : address)
        if (!isHostNameCharacter(c))
            return QStringLiteral("%1 is neither a host name, an IPv4 address nor an IPv6 address (\"%2\" "
                                  "belongs to none of them). ")
                .arg(field, QString(c));
    return QString();
}

QString BareHostAddress(const QString& address)
{
    if (isBracketed(address) && Platform::IsIPv6Address(address.mid(1, address.size() - 2)))
        return address.mid(1, address.size() - 2);
    return address;
}

QString FirstControlCharacter(const QString& text, bool allowLineBreaks)
{
    for (const QChar c : text) {
        if (!isControl(c))
            continue;
        if (allowLineBreaks && (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t')))
            continue;
        return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    }
    return QString();
}
