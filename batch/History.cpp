#include "batch/History.h"

#include "core/DayNumber.h"
#include "core/TdmPublic.h"

bool AddLogRecord(TdmPublic& dm, const QString& action, const QString& done, const TUser& user, double actionTime)
{
    const QString addressPort = user.HostIP + QLatin1Char(':') + QString::number(user.HostPort);
    auto query = dm.NewQuery();
    // Stored passwords are hexadecimal digits; escaping them anyway keeps a damaged row from breaking
    // out of its quotes.
    query->SelectSQL =
        QStringLiteral("Insert into Logs(logID,UserID,AddressPort,LoginName,DoAction,ActionTime,pwBefore,pwAfter,"
                       "ActionDone,ActionLog) Values ((select (case when max(logID) is null then 1 else max(logID)+1 "
                       "end) from Logs),") +
        QString::number(user.uID) + QStringLiteral(",'") + TdmPublic::SqlEscape(addressPort) + QStringLiteral("','") +
        TdmPublic::SqlEscape(user.LoginName) + QStringLiteral("','") + TdmPublic::SqlEscape(action) +
        QStringLiteral("',") + DayNumber::Format(actionTime) + QStringLiteral(",'") + TdmPublic::SqlEscape(user.pwNow) +
        QStringLiteral("','") + TdmPublic::SqlEscape(user.pwNew) + QStringLiteral("','") + TdmPublic::SqlEscape(done) +
        QStringLiteral("','") + TdmPublic::SqlEscape(user.LastLog) + QStringLiteral("')");
    return dm.OpenQuery(*query);
}

QString UserHistoryText(const TUser& user)
{
    if (user.LastLog.isEmpty())
        return QString();
    const QString stars(69, QLatin1Char('*'));
    const QChar cr = QLatin1Char('\r');
    return stars + cr + QLatin1Char(' ') + user.HostIP + QLatin1Char(':') + QString::number(user.HostPort) +
           QStringLiteral(" - ") + user.LoginName + cr + stars + cr + user.LastLog + cr + cr;
}
