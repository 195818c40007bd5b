#include "tools/CliCipher.h"

#include "core/PasswordCipher.h"
#include "tools/CliArguments.h"
#include "tools/CliError.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"

#include <QFile>

#include <iostream>
#include <string>

namespace {

bool isHexText(const QString& text)
{
    for (const QChar c : text)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    return true;
}

} // namespace

int CliCipher::runLines(bool encipher, const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("encipher")));
        return ExitOk;
    }
    args.requirePositional(0, QString());
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const QString text = QString::fromStdString(line);
        CliOutput::out((encipher ? EncipherPassword(text) : DecipherPassword(text)) + QLatin1Char('\n'));
    }
    return ExitOk;
}

std::optional<CliCipher::LogIdentity> CliCipher::ParseLogIdentity(const QByteArray& fileContent)
{
    qsizetype end = fileContent.indexOf('\n');
    QString first = QString::fromLatin1(end < 0 ? fileContent : fileContent.left(end));
    while (first.endsWith(QLatin1Char('\r')))
        first.chop(1);
    if (first.size() < 4 || first.size() % 2 != 0 || !isHexText(first))
        return std::nullopt;
    // The line is "uID,LoginName,pwNow,pwNew" with both passwords still enciphered; the login may
    // itself hold commas, the enciphered passwords cannot.
    const QString identity = DecipherPassword(first);
    const qsizetype firstComma = identity.indexOf(QLatin1Char(','));
    const qsizetype lastComma = identity.lastIndexOf(QLatin1Char(','));
    const qsizetype middleComma = lastComma > 0 ? identity.lastIndexOf(QLatin1Char(','), lastComma - 1) : -1;
    if (firstComma < 0 || middleComma <= firstComma)
        return std::nullopt;
    LogIdentity result;
    bool ok = false;
    result.userId = identity.left(firstComma).toInt(&ok);
    const QString pwNow = identity.mid(middleComma + 1, lastComma - middleComma - 1);
    const QString pwNew = identity.mid(lastComma + 1);
    if (!ok || !isHexText(pwNow) || !isHexText(pwNew))
        return std::nullopt;
    result.login = identity.mid(firstComma + 1, middleComma - firstComma - 1);
    result.currentPassword = DecipherPassword(pwNow);
    result.newPassword = DecipherPassword(pwNew);
    return result;
}

int CliCipher::runDecipherLog(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("decipher-log")));
        return ExitOk;
    }
    args.requirePositional(1, QStringLiteral("FILE, the fallback log file to read"));
    const QString path = args.positional()[0];
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw CliError::failure(QStringLiteral("cannot read %1 (%2): check the path").arg(path, file.errorString()));
    const std::optional<LogIdentity> identity = ParseLogIdentity(file.read(64 * 1024));
    if (!identity)
        throw CliError::failure(QStringLiteral("%1 is not a fallback log file of Veltrane: its first line does not "
                                               "hold a user identity; pick a file from the Logs folder")
                                    .arg(path));
    CliOutput::out(QStringLiteral("User ID: ") + QString::number(identity->userId) + QStringLiteral("\nLogin: ") +
                   identity->login + QStringLiteral("\nCurrent password: ") + identity->currentPassword +
                   QStringLiteral("\nNew password: ") + identity->newPassword + QLatin1Char('\n'));
    return ExitOk;
}
