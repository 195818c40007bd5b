#include "core/PasswordRules.h"

#include <QStringDecoder>

QString PasswordProblem(const QString& password)
{
    for (const QChar c : password)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("The password contains a control character (a line break, a tab or the like), "
                                  "which a host cannot take as part of a password. ");
    if (password.toUtf8().size() > MaxPasswordBytes)
        return QStringLiteral("The password is longer than %1 bytes. ").arg(MaxPasswordBytes);
    return QString();
}

QString PasswordBytesProblem(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    const bool invalid = decoder.hasError();
    QString problem = invalid ? QStringLiteral("The password is not valid UTF-8 text. ") : PasswordProblem(text);
    text.fill(QChar(u'\0'));
    return problem;
}
