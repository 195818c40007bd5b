#include "core/IniFile.h"

#include "core/Platform.h"

#include <QSaveFile>
#include <QStringList>

namespace {

QString sectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return QString();
}

bool isComment(const QString& line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

/// The key of a "key=value" line, or an empty string.
QString lineKey(const QString& line)
{
    if (isComment(line))
        return QString();
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return QString();
    return line.left(eq).trimmed();
}

/// The file's lines; *ok tells whether it was read, *problem why something there was not.
QStringList readLines(const QString& path, bool* ok, QString* lineEnd = nullptr, QString* problem = nullptr)
{
    const Platform::SmallFile file = Platform::ReadRegularFile(path, IniFile::MaxFileSize);
    if (problem)
        *problem = file.problem;
    *ok = file.exists && file.problem.isEmpty();
    if (!*ok)
        return {};
    QString text = QString::fromUtf8(file.content);
    if (lineEnd && text.contains(QStringLiteral("\r\n")))
        *lineEnd = QStringLiteral("\r\n");
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

/// A value written in matching double or single quotes, as hand-edited profile files do, is read
/// without them (DataPath="/srv/v.db").
QString unquoted(const QString& value)
{
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

bool parseInteger(const QString& text, int* value)
{
    const QString t = text.trimmed();
    bool ok = false;
    long long v = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = t.mid(2).toLongLong(&ok, 16);
    else
        v = t.toLongLong(&ok, 10);
    if (!ok || v < INT_MIN || v > INT_MAX)
        return false;
    *value = static_cast<int>(v);
    return true;
}

} // namespace

QString IniFile::Problem() const
{
    bool ok = false;
    QString problem;
    readLines(m_path, &ok, nullptr, &problem);
    return problem;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue) const
{
    bool ok = false;
    const QStringList lines = readLines(m_path, &ok);
    bool inSection = false;
    for (const QString& line : lines) {
        const QString name = sectionName(line);
        if (!name.isEmpty()) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (inSection && lineKey(line).compare(key, Qt::CaseInsensitive) == 0)
            return unquoted(line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed());
    }
    return defaultValue;
}

int IniFile::readInteger(const QString& section, const QString& key, int defaultValue) const
{
    int value = defaultValue;
    if (!parseInteger(readString(section, key, QString()), &value))
        return defaultValue;
    return value;
}

bool IniFile::readBool(const QString& section, const QString& key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) const
{
    bool existed = false;
    QString lineEnd = QStringLiteral("\n"); // a file edited on Windows keeps its CR LF
    QString problem;
    QStringList lines = readLines(m_path, &existed, &lineEnd, &problem);
    // Writing would replace whatever is there (a pipe, a device, a huge or unreadable file) by one key.
    if (!problem.isEmpty())
        throw IniWriteError(QStringLiteral("Unable to write to %1 (%2)").arg(m_path, problem));
    const QString newLine = key + QLatin1Char('=') + value;

    qsizetype sectionStart = -1; // line index of the section header
    qsizetype sectionEnd = -1;   // index after the section's last key line
    bool written = false;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        const QString name = sectionName(lines[i]);
        if (!name.isEmpty()) {
            if (inSection)
                break;
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) {
                sectionStart = i;
                sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (lineKey(lines[i]).compare(key, Qt::CaseInsensitive) == 0) {
            lines[i] = newLine;
            written = true;
        } else if (!lineKey(lines[i]).isEmpty()) {
            // After the last key, not after comments that may introduce the next section.
            sectionEnd = i + 1;
        }
    }
    if (!written) {
        if (sectionStart < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(QString());
            lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
            lines.append(newLine);
        } else {
            lines.insert(sectionEnd, newLine);
        }
    }

    QSaveFile file(m_path);
    file.setDirectWriteFallback(true);
    const QByteArray bytes = (lines.join(lineEnd) + lineEnd).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw IniWriteError(QStringLiteral("Unable to write to %1").arg(m_path));
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) const
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) const
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
