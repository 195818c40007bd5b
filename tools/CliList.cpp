#include "tools/CliList.h"

#include "core/DayNumber.h"
#include "core/TdmPublic.h"
#include "core/UserListColumns.h"
#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"
#include "tools/CliFieldRules.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"
#include "tools/CliStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QJsonValue numberOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text.toLongLong());
}

QJsonObject hostJson(const THost& host, const QMap<int, QString>& profiles)
{
    return QJsonObject{
        {QStringLiteral("id"), host.hID},
        {QStringLiteral("address"), host.hAddress},
        {QStringLiteral("port"), host.hPort},
        {QStringLiteral("osId"), host.OSID},
        {QStringLiteral("os"), CliStore::osName(profiles, host.OSID)},
        {QStringLiteral("managerLogin"), host.MngLogin},
        {QStringLiteral("loginAs"), CliFieldRules::loginAsText(host.UseManager)},
        {QStringLiteral("note"), host.hNote},
    };
}

QJsonObject userJson(const TUser& user, const QStringList& texts)
{
    const bool changed = user.pwLastTime != DayNumber::None;
    return QJsonObject{
        {QStringLiteral("id"), user.uID},
        {QStringLiteral("hostId"), user.hID},
        {QStringLiteral("address"), user.HostIP},
        {QStringLiteral("port"), user.HostPort},
        {QStringLiteral("login"), user.LoginName},
        {QStringLiteral("hasPassword"), !user.pwNow.isEmpty()},
        {QStringLiteral("newPasswordPending"), !user.pwNew.isEmpty()},
        {QStringLiteral("period"), numberOrNull(texts[2])},
        {QStringLiteral("passedDays"), numberOrNull(texts[3])},
        {QStringLiteral("dueSoon"), PasswordDueSoon(texts[2], texts[3])},
        {QStringLiteral("lastChange"),
         changed ? QJsonValue(DayNumber::ToDateTime(user.pwLastTime).toString(Qt::ISODate)) : QJsonValue()},
        {QStringLiteral("fullName"), user.uName},
        {QStringLiteral("email"), user.Email},
        {QStringLiteral("remark"), user.uRemark},
    };
}

} // namespace

int CliList::run(const QStringList& arguments)
{
    const CliArguments args(arguments, {QStringLiteral("json")}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("list")));
        return ExitOk;
    }
    args.requirePositional(0, QString());
    const CliStore store(m_context);
    const QList<THost> hosts = store.hosts();
    const QMap<int, QString> profiles = store.osProfiles();
    const QList<TUser> users = store.users();
    const QDateTime now = DayNumber::CurrentDateTime();

    if (args.has(QStringLiteral("json"))) {
        QJsonArray hostArray;
        for (const THost& host : hosts)
            hostArray.append(hostJson(host, profiles));
        QJsonArray userArray;
        for (const TUser& user : users)
            userArray.append(userJson(user, UserListTexts(user, now)));
        QJsonArray profileArray;
        for (auto it = profiles.constBegin(); it != profiles.constEnd(); ++it)
            profileArray.append(QJsonObject{{QStringLiteral("id"), it.key()}, {QStringLiteral("name"), it.value()}});
        const QJsonObject root{{QStringLiteral("hosts"), hostArray},
                               {QStringLiteral("users"), userArray},
                               {QStringLiteral("osProfiles"), profileArray}};
        CliOutput::out(QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
        return ExitOk;
    }

    QString text = QStringLiteral("Hosts:\n");
    for (const THost& host : hosts)
        text += QStringLiteral("  %1  %2:%3  os=%4  manager=%5  login-as=%6  %7\n")
                    .arg(QString::number(host.hID), host.hAddress, QString::number(host.hPort),
                         CliStore::osName(profiles, host.OSID), orDash(host.MngLogin),
                         CliFieldRules::loginAsText(host.UseManager), host.hNote);
    text += QStringLiteral("Users:\n");
    for (const TUser& user : users) {
        const QStringList texts = UserListTexts(user, now);
        // Concatenated, not arg()-filled: a name may itself contain "%1".
        text += QStringLiteral("  ") + QString::number(user.uID) + QStringLiteral("  ") + user.HostIP +
                QLatin1Char(':') + QString::number(user.HostPort) + QStringLiteral("  ") + user.LoginName +
                QStringLiteral("  password=") + orDash(MaskPassword(user.pwNow)) + QStringLiteral("  new=") +
                orDash(texts[1]) + QStringLiteral("  period=") + orDash(texts[2]) + QStringLiteral("  passed=") +
                orDash(texts[3]) + QStringLiteral("  name=") + user.uName + QStringLiteral("  email=") + user.Email +
                QLatin1Char('\n');
    }
    text += QStringLiteral("OS profiles:\n");
    for (auto it = profiles.constBegin(); it != profiles.constEnd(); ++it)
        text += QStringLiteral("  %1  %2\n").arg(QString::number(it.key()), it.value());
    CliOutput::out(text);
    return ExitOk;
}
