#include "core/PasswordCipher.h"

#include "core/TDBSession.h"

#include <QRandomGenerator>

namespace {

int nibble(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

/// A pair of hexadecimal digits; 0 when either is not one.
int hexValue(QChar high, QChar low)
{
    const int h = nibble(high);
    const int l = nibble(low);
    return (h < 0 || l < 0) ? 0 : h * 16 + l;
}

void appendHex(QString& out, int value)
{
    static const char digits[] = "0123456789ABCDEF";
    out += QLatin1Char(digits[(value >> 4) & 0xF]);
    out += QLatin1Char(digits[value & 0xF]);
}

} // namespace

QString EncipherPasswordWithStart(const QString& plain, int start)
{
    if (plain.isEmpty())
        return QString();
    const QByteArray& key = TDBSession::Key;
    const QByteArray bytes = plain.toUtf8();
    QString out;
    out.reserve(2 + 2 * bytes.size());
    int a = start & 0xFF;
    appendHex(out, a);
    int i = 0;
    for (const char c : bytes) {
        const int p = static_cast<unsigned char>(c);
        a = (a + p) % 255;
        i = (i == key.size()) ? 1 : i + 1;
        a ^= static_cast<unsigned char>(key[i - 1]);
        appendHex(out, a);
    }
    return out;
}

QString EncipherPassword(const QString& plain)
{
    // The starting value only varies the text; it comes from the system's strong source anyway.
    return EncipherPasswordWithStart(plain, static_cast<int>(QRandomGenerator::system()->bounded(256)));
}

QString DecipherPassword(const QString& text)
{
    if (text.isEmpty())
        return QString();
    const QByteArray& key = TDBSession::Key;
    if (text.size() < 2)
        return QString();
    int a = hexValue(text[0], text[1]);
    int i = 0;
    QByteArray plain;
    plain.reserve(text.size() / 2);
    // Pairs are taken while the pair starts before the last character.
    for (qsizetype pos = 2; pos < text.size() - 1; pos += 2) {
        int b = hexValue(text[pos], text[pos + 1]);
        const int c = b;
        i = (i == key.size()) ? 1 : i + 1;
        b ^= static_cast<unsigned char>(key[i - 1]);
        const int p = (a < b) ? b - a : b - a + 255;
        plain.append(static_cast<char>(p & 0xFF));
        a = c;
    }
    return QString::fromUtf8(plain);
}
