#include "engine/ManagerCommand.h"

bool IsPlainLoginName(const QString& loginName)
{
    if (loginName.isEmpty())
        return false;
    for (const QChar c : loginName) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
                           u == u'.' || u == u'_' || u == u'-';
        if (!plain)
            return false;
    }
    return true;
}

QString QuoteForShell(const QString& loginName)
{
    if (IsPlainLoginName(loginName))
        return loginName;
    QString quoted = loginName;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString ManagerPasswdCommand(const QString& loginName)
{
    return QStringLiteral("passwd ") + QuoteForShell(loginName);
}
