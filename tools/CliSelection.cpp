#include "tools/CliSelection.h"

#include "core/DayNumber.h"
#include "core/TdmPublic.h"
#include "core/UserListColumns.h"
#include "tools/CliArguments.h"
#include "tools/CliError.h"
#include "tools/CliStore.h"

CliSelection::CliSelection(const CliArguments& args)
{
    m_all = args.has(QStringLiteral("all"));
    for (const QString& text : args.values(QStringLiteral("host")))
        m_hosts.append(CliHostAddress::parseOrThrow(text));
    for (const QString& login : args.values(QStringLiteral("user"))) {
        if (login.isEmpty())
            throw CliError::usage(QStringLiteral("--user needs a login name"));
        m_logins.append(login);
    }
    if (args.has(QStringLiteral("due-within")))
        m_dueWithin = args.intValue(QStringLiteral("due-within"), 0, 1000000, 0);
    const bool narrowed = !m_hosts.isEmpty() || !m_logins.isEmpty() || m_dueWithin;
    if (m_all && narrowed)
        throw CliError::usage(QStringLiteral("--all selects every user; leave it out to choose with --host, --user "
                                             "or --due-within"));
    if (!m_all && !narrowed)
        throw CliError::usage(
            QStringLiteral("choose the users with --all, --host ADDRESS[:PORT], --user LOGIN or --due-within DAYS"));
}

QString CliSelection::describe() const
{
    if (m_all)
        return QStringLiteral("--all");
    QStringList words;
    for (const CliHostAddress& host : m_hosts)
        words << QStringLiteral("--host ") + host.toString();
    for (const QString& login : m_logins)
        words << QStringLiteral("--user ") + login;
    if (m_dueWithin)
        words << QStringLiteral("--due-within ") + QString::number(*m_dueWithin);
    return words.join(QLatin1Char(' '));
}

QList<TUser> CliSelection::select(const CliStore& store) const
{
    QStringList conditions;
    if (!m_hosts.isEmpty()) {
        QStringList ids;
        for (const CliHostAddress& host : m_hosts)
            ids << QString::number(store.requireHost(host).hID);
        conditions << QStringLiteral("a.hID in (") + ids.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    if (!m_logins.isEmpty()) {
        QStringList quoted;
        for (const QString& login : m_logins)
            quoted << QLatin1Char('\'') + TdmPublic::SqlEscape(login) + QLatin1Char('\'');
        conditions << QStringLiteral("a.LoginName in (") + quoted.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    QList<TUser> users = store.users(conditions.join(QStringLiteral(" and ")));
    if (m_dueWithin) {
        // The red "Passed Days" rule of the user list, with DAYS for its 7.
        const QDateTime now = DayNumber::CurrentDateTime();
        users.removeIf([&](const TUser& user) {
            const QStringList texts = UserListTexts(user, now);
            return !PasswordDueSoon(texts[2], texts[3], *m_dueWithin);
        });
    }
    if (users.isEmpty())
        throw CliError::failure(QStringLiteral("no user matches the selection %1: see the users with 'veltrane-cli "
                                               "list'")
                                    .arg(describe()));
    return users;
}
