#include "transport/KnownHostsFile.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QStringList>

namespace {

// A hashed name is "|1|base64(salt)|base64(HMAC-SHA1(salt, name))", so it can only be compared.
bool HashedNameMatches(const QByteArray& hashed, const QByteArray& name)
{
    const QList<QByteArray> parts = hashed.split('|');
    if (parts.size() != 4 || !parts[0].isEmpty() || parts[1] != "1")
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts[2]);
    const QByteArray expected = QByteArray::fromBase64(parts[3]);
    return !expected.isEmpty() && QMessageAuthenticationCode::hash(name, salt, QCryptographicHash::Sha1) == expected;
}

bool EntryNamesHost(const QByteArray& line, const QByteArray& name)
{
    QList<QByteArray> fields = line.simplified().split(' ');
    if (!fields.isEmpty() && fields.first().startsWith('@')) // @cert-authority, @revoked
        fields.removeFirst();
    if (fields.size() < 3)
        return false;
    for (const QByteArray& candidate : fields.first().split(',')) {
        if (candidate == name || (candidate.startsWith("|1|") && HashedNameMatches(candidate, name)))
            return true;
    }
    return false;
}

} // namespace

QString KnownHostsFile::HostPattern(const QString& address, int port)
{
    return port == 22 ? address : QStringLiteral("[%1]:%2").arg(address).arg(port);
}

QList<int> KnownHostsFile::LinesFor(const QString& path, const QString& address, int port)
{
    QList<int> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    const QByteArray name = HostPattern(address, port).toUtf8();
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++number;
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        if (EntryNamesHost(trimmed, name))
            lines.append(number);
    }
    return lines;
}

QString KnownHostsFile::ChangedKeyMessage(const QString& path, const QString& address, int port)
{
    const QString host = QStringLiteral("%1:%2").arg(address).arg(port);
    QString message = QStringLiteral("The host key of %1 has changed since it was recorded. This may be an attack: "
                                     "someone may be intercepting the connection, so no password was sent. ")
                          .arg(host);
    const QList<int> lines = LinesFor(path, address, port);
    QStringList numbers;
    for (int line : lines)
        numbers << QString::number(line);
    if (numbers.isEmpty())
        return message + QStringLiteral("If the change is expected, remove the entry for %1 from %2 and try again.")
                             .arg(HostPattern(address, port), path);
    const QString which = numbers.size() == 1 ? QStringLiteral("line %1").arg(numbers.first())
                                              : QStringLiteral("lines %1").arg(numbers.join(QStringLiteral(", ")));
    return message + QStringLiteral("If the change is expected (the host was reinstalled or got a new key), remove "
                                    "%1 of %2 and try again.")
                         .arg(which, path);
}
