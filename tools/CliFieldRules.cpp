#include "tools/CliFieldRules.h"

namespace CliFieldRules {

std::optional<int> parseLoginAs(const QString& text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("manager"), Qt::CaseInsensitive) == 0)
        return UseManagerAccount;
    if (word.compare(QLatin1String("user"), Qt::CaseInsensitive) == 0)
        return UseUserAccount;
    return std::nullopt;
}

QString loginAsText(int useManager)
{
    return useManager == UseManagerAccount ? QStringLiteral("manager") : QStringLiteral("user");
}

std::optional<int> parsePeriod(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String("-1") ||
        trimmed.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return -1;
    for (const QChar c : trimmed)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    bool ok = false;
    const int days = trimmed.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return days;
}

std::optional<bool> parseSwitch(const QString& text)
{
    const QString word = text.trimmed();
    if (word == QLatin1String("1") || word.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.isEmpty() || word == QLatin1String("0") || word.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

QString switchText(bool on)
{
    return on ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace CliFieldRules
