#include "transport/KnownHostsFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QSaveFile>
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

bool CandidateIsHost(const QByteArray& candidate, const QByteArray& name)
{
    return candidate == name || (candidate.startsWith("|1|") && HashedNameMatches(candidate, name));
}

bool EntryNamesHost(const QByteArray& line, const QByteArray& name)
{
    QList<QByteArray> fields = line.simplified().split(' ');
    if (!fields.isEmpty() && fields.first().startsWith('@')) // @cert-authority, @revoked
        fields.removeFirst();
    if (fields.size() < 3)
        return false;
    for (const QByteArray& candidate : fields.first().split(',')) {
        if (CandidateIsHost(candidate, name))
            return true;
    }
    return false;
}

/// The fields of a key line ("names type key [comment]"); empty for blank lines, comments, marker
/// lines (@cert-authority, @revoked: not ours to change) and lines too short to hold a key.
QList<QByteArray> KeyLineFields(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('#') || trimmed.startsWith('@'))
        return {};
    QList<QByteArray> fields = trimmed.simplified().split(' ');
    return fields.size() < 3 ? QList<QByteArray>() : fields;
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

QString KnownHostsFile::Fingerprint(const QByteArray& base64Key)
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromBase64(base64Key), QCryptographicHash::Sha256);
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(digest.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals));
}

QList<KnownHostsFile::RecordedKey> KnownHostsFile::RecordedKeys(const QString& path, const QString& address, int port)
{
    QList<RecordedKey> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    const QByteArray name = HostPattern(address, port).toUtf8();
    int number = 0;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = KeyLineFields(file.readLine());
        ++number;
        if (fields.isEmpty())
            continue;
        for (const QByteArray& candidate : fields[0].split(',')) {
            if (CandidateIsHost(candidate, name)) {
                keys.append({number, QString::fromLatin1(fields[1]), Fingerprint(fields[2])});
                break;
            }
        }
    }
    return keys;
}

QString KnownHostsFile::Replace(const QString& path, const QString& address, int port, const QString& entry,
                                int* removed)
{
    int taken = 0;
    QByteArray kept;
    QFile current(path);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly))
            return QStringLiteral("Cannot read %1 (%2): make it readable.").arg(path, current.errorString());
        const QByteArray name = HostPattern(address, port).toUtf8();
        for (const QByteArray& line : current.readAll().split('\n')) {
            const QList<QByteArray> fields = KeyLineFields(line);
            if (fields.isEmpty()) {
                kept += line + '\n';
                continue;
            }
            QList<QByteArray> names;
            for (const QByteArray& candidate : fields[0].split(','))
                if (!CandidateIsHost(candidate, name))
                    names.append(candidate);
            if (names.size() == fields[0].count(',') + 1) {
                kept += line + '\n';
                continue;
            }
            ++taken;
            // An entry that also names other hosts keeps them, with its key and comment.
            if (!names.isEmpty())
                kept += names.join(',') + ' ' + fields.mid(1).join(' ') + '\n';
        }
        current.close();
        // split() leaves one empty piece after the final line break; it must not become a blank line.
        if (kept.endsWith("\n\n"))
            kept.chop(1);
        if (kept == "\n")
            kept.clear();
    }
    if (!entry.isEmpty())
        kept += entry.trimmed().toUtf8() + '\n';

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir(folder).exists()) {
        if (!QDir().mkpath(folder))
            return QStringLiteral("Cannot create the folder %1: make its parent writable.").arg(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // Written aside and renamed: a failure never leaves half a file of trusted keys.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(kept) != kept.size() || !file.commit())
        return QStringLiteral("Cannot write %1 (%2): make that file and its folder writable.")
            .arg(path, file.errorString());
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (removed)
        *removed = taken;
    return QString();
}
