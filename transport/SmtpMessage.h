#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

/// One address of a mail: the bare address for the envelope and the text for the header.
struct MailAddress
{
    QString address; ///< user@domain, as it goes into MAIL FROM or RCPT TO
    QString display; ///< the text as written ("Name <user@domain>" or the bare address)
};

/// A mail to send: one sender, one or more recipients, a one-line subject and an HTML body.
struct SmtpMessage
{
    QString sender;
    QStringList recipients;
    QString subject;
    QString htmlBody;
};

/// The parts of a comma-separated address list, blanks trimmed, empty parts dropped. Line breaks
/// are kept, so that a part holding one is refused rather than silently repaired.
QStringList SplitRecipientList(const QString& text);

/// Why text may not stand in a mail header or SMTP command (a line break or another control
/// character), or an empty string when it may.
QString ControlCharacterProblem(const QString& text);

/// Reads "user@domain" or "Name <user@domain>"; nullopt when the address part is empty or holds
/// blanks, angle brackets, commas, control characters or anything beyond ASCII.
std::optional<MailAddress> ParseMailAddress(const QString& text);

/// Checks everything that will reach the wire; returns a message that says what to correct, or
/// an empty string when the message may be sent. Nothing with a line break ever passes.
QString ValidateSmtpMessage(const SmtpMessage& message);

/// "<random hex>@domain", domain taken from the sender's address when it is a plain host name.
QString NewMessageId(const QString& senderAddress);

/// Date header value: "Tue, 01 Jul 2025 10:00:00 +0200", English names whatever the locale.
QString MailDate(const QDateTime& when);

/// The whole message as it is uploaded, CR LF line ends: Date, From, To, Subject, Message-ID and
/// the MIME headers, then the body. The message must have passed ValidateSmtpMessage.
QByteArray ComposeSmtpMessage(const SmtpMessage& message, const QDateTime& when, const QString& messageId);
