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

QString ElevatedPasswdCommand(TElevation elevation, const QString& loginName)
{
    const QString command = ManagerPasswdCommand(loginName);
    switch (elevation) {
    case TElevation::Sudo:
        return QStringLiteral("sudo ") + command;
    case TElevation::Su: {
        // Quoted whole, even when plain: su hands -c's one argument to root's shell.
        QString inner = command;
        inner.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        return QStringLiteral("su - root -c '") + inner + QLatin1Char('\'');
    }
    case TElevation::None:
        break;
    }
    return command;
}

QString ManagerShadowCommand(const QString& loginName)
{
    return QStringLiteral("getent shadow ") + QuoteForShell(loginName);
}

QString ManagerPasswdEntryCommand(const QString& loginName)
{
    return QStringLiteral("getent passwd ") + QuoteForShell(loginName);
}

QString ElevatedManagerCommand(TElevation elevation, const QString& command, const QString& sudoPrompt)
{
    switch (elevation) {
    case TElevation::Sudo:
        return QStringLiteral("sudo -p ") + QuoteForShell(sudoPrompt) + QLatin1Char(' ') + command;
    case TElevation::Su:
        return QStringLiteral("su - root -c ") + QuoteForShell(command);
    case TElevation::None:
        break;
    }
    return command;
}
