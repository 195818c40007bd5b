#include "transport/SmtpMessage.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimeZone>

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

bool isPlainAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x7F || (isControl(c) && c != QLatin1Char('\t')))
            return false;
    return true;
}

// Shows a rejected text with its control characters spelt out, so the user can find them.
QString visible(const QString& text)
{
    QString shown;
    for (QChar c : text) {
        if (c == QLatin1Char('\r'))
            shown += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (isControl(c))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

// RFC 2047 encoded words of at most 75 characters, never splitting a character's UTF-8 bytes,
// joined by folding so that no header line grows too long.
QByteArray encodedWords(const QString& text)
{
    constexpr qsizetype maxBytesPerWord = 42; // 56 base64 characters plus 12 of framing, after "Subject: "
    QList<QByteArray> words;
    QByteArray chunk;
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = text.mid(i, length).toUtf8();
        i += length - 1;
        if (chunk.size() + bytes.size() > maxBytesPerWord) {
            words.append(chunk);
            chunk.clear();
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty())
        words.append(chunk);
    QByteArray result;
    for (const QByteArray& word : words) {
        if (!result.isEmpty())
            result += "\r\n ";
        result += "=?UTF-8?B?" + word.toBase64() + "?=";
    }
    return result;
}

QByteArray headerText(const QString& text, qsizetype nameLength)
{
    constexpr qsizetype foldLimit = 78;
    if (isPlainAscii(text) && nameLength + text.size() <= foldLimit)
        return text.toLatin1();
    return encodedWords(text);
}

// A header address: the display name encoded when it is not plain ASCII, the address kept.
QByteArray headerAddress(const MailAddress& address)
{
    if (isPlainAscii(address.display))
        return address.display.toLatin1();
    const qsizetype open = address.display.lastIndexOf(QLatin1Char('<'));
    const QString name = address.display.left(open).trimmed();
    return encodedWords(name) + " <" + address.address.toUtf8() + '>';
}

QByteArray base64Lines(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray result;
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        result += encoded.mid(i, 76) + "\r\n";
    return result;
}

const QRegularExpression& hostNamePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return pattern;
}

} // namespace

QStringList SplitRecipientList(const QString& text)
{
    QStringList parts;
    // Only blanks are trimmed: a line break must stay in the part so that validation refuses it.
    static const QRegularExpression blanks(QStringLiteral("^ +| +$"));
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString trimmed = QString(part).remove(blanks);
        if (!trimmed.isEmpty())
            parts.append(trimmed);
    }
    return parts;
}

QString ControlCharacterProblem(const QString& text)
{
    for (QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return QStringLiteral("a line break");
        if (isControl(c))
            return QStringLiteral("a control character");
    }
    return QString();
}

std::optional<MailAddress> ParseMailAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    QString bare = trimmed;
    const qsizetype open = trimmed.lastIndexOf(QLatin1Char('<'));
    if (open >= 0) {
        if (!trimmed.endsWith(QLatin1Char('>')))
            return std::nullopt;
        bare = trimmed.mid(open + 1, trimmed.size() - open - 2).trimmed();
        if (trimmed.left(open).contains(QLatin1Char('>')))
            return std::nullopt;
    }
    if (bare.isEmpty())
        return std::nullopt;
    for (QChar c : bare)
        // Non-ASCII addresses would need SMTPUTF8, which is not negotiated.
        if (c.isSpace() || isControl(c) || c.unicode() >= 0x7F || c == QLatin1Char('<') || c == QLatin1Char('>') ||
            c == QLatin1Char(','))
            return std::nullopt;
    if (!ControlCharacterProblem(trimmed).isEmpty())
        return std::nullopt;
    return MailAddress{bare, trimmed};
}

QString ValidateSmtpMessage(const SmtpMessage& message)
{
    if (const QString problem = ControlCharacterProblem(message.sender); !problem.isEmpty())
        return QStringLiteral("The sender address \"%1\" contains %2; correct the sender in the mail settings.")
            .arg(visible(message.sender), problem);
    if (!ParseMailAddress(message.sender))
        return QStringLiteral("The sender address \"%1\" is not a valid e-mail address; correct the sender in the "
                              "mail settings.")
            .arg(message.sender);
    if (message.recipients.isEmpty())
        return QStringLiteral("E-mail is empty.");
    for (const QString& recipient : message.recipients) {
        if (const QString problem = ControlCharacterProblem(recipient); !problem.isEmpty())
            return QStringLiteral("The e-mail address \"%1\" contains %2; correct the address.")
                .arg(visible(recipient), problem);
        if (!ParseMailAddress(recipient))
            return QStringLiteral("The e-mail address \"%1\" is not valid; correct the address.").arg(recipient);
    }
    if (const QString problem = ControlCharacterProblem(message.subject); !problem.isEmpty())
        return QStringLiteral("The mail subject \"%1\" contains %2; correct the subject in the mail settings.")
            .arg(visible(message.subject), problem);
    return QString();
}

QString NewMessageId(const QString& senderAddress)
{
    QString domain = senderAddress.mid(senderAddress.lastIndexOf(QLatin1Char('@')) + 1);
    if (!senderAddress.contains(QLatin1Char('@')) || !hostNamePattern().match(domain).hasMatch())
        domain = QStringLiteral("veltrane.localdomain");
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    QString unique;
    for (quint32 part : random)
        unique += QStringLiteral("%1").arg(part, 8, 16, QLatin1Char('0'));
    return unique + QLatin1Char('.') + QString::number(QDateTime::currentMSecsSinceEpoch()) + QLatin1Char('@') + domain;
}

QString MailDate(const QDateTime& when)
{
    const QLocale c = QLocale::c();
    const int offset = when.offsetFromUtc();
    const int absMinutes = std::abs(offset) / 60;
    return c.toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1%2")
               .arg(absMinutes / 60, 2, 10, QLatin1Char('0'))
               .arg(absMinutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray ComposeSmtpMessage(const SmtpMessage& message, const QDateTime& when, const QString& messageId)
{
    QList<QByteArray> to;
    for (const QString& recipient : message.recipients)
        to.append(headerAddress(*ParseMailAddress(recipient)));

    QByteArray mail;
    mail += "Date: " + MailDate(when).toLatin1() + "\r\n";
    mail += "From: " + headerAddress(*ParseMailAddress(message.sender)) + "\r\n";
    mail += "To: " + to.join(",\r\n ") + "\r\n";
    mail += "Subject: " + headerText(message.subject, 9) + "\r\n";
    mail += "Message-ID: <" + messageId.toLatin1() + ">\r\n";
    mail += "MIME-Version: 1.0\r\n";
    mail += "Content-Type: text/html; charset=UTF-8\r\n";

    constexpr qsizetype maxLine = 998;
    const bool sevenBit = isPlainAscii(message.htmlBody) && message.htmlBody.size() <= maxLine;
    if (sevenBit) {
        mail += "Content-Transfer-Encoding: 7bit\r\n\r\n";
        mail += message.htmlBody.toLatin1() + "\r\n";
    } else {
        mail += "Content-Transfer-Encoding: base64\r\n\r\n";
        mail += base64Lines(message.htmlBody.toUtf8());
    }
    return mail;
}
