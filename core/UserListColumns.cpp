#include "core/UserListColumns.h"

#include "core/DayNumber.h"

#include <QLocale>

#include <cmath>

QString PassedDaysText(double pwLastTime, const QDateTime& now)
{
    if (pwLastTime == DayNumber::None)
        return QString();
    // A stored value that is no time at all (damaged row) shows nothing, like its Last Change Time.
    if (!std::isfinite(pwLastTime) || std::fabs(pwLastTime) > DayNumber::MaxMagnitude)
        return QString();
    const double days = std::fabs(DayNumber::FromDateTime(now) - pwLastTime);
    return QString::number(static_cast<qint64>(std::floor(days)));
}

QStringList UserListTexts(const TUser& user, const QDateTime& now)
{
    QStringList texts;
    texts.reserve(7);
    // A change in flight shows as such: until verified, either password may be the live one.
    const QString pending = user.HasOpenIntent() ? MaskPassword(user.pwIntent) + QStringLiteral(" (unconfirmed)")
                                                 : MaskPassword(user.pwNew);
    texts << user.LoginName << pending << (user.pwPeriod == -1 ? QString() : QString::number(user.pwPeriod))
          << PassedDaysText(user.pwLastTime, now) << user.uName << user.Email;
    if (user.pwLastTime == DayNumber::None)
        texts << QString();
    else
        texts << QLocale().toString(DayNumber::ToDateTime(user.pwLastTime), QStringLiteral("MMM d, yyyy hh:mm"));
    return texts;
}

bool PasswordDueSoon(const QString& validPeriod, const QString& passedDays, int withinDays)
{
    bool ok = false;
    qint64 p = validPeriod.trimmed().toLongLong(&ok);
    if (!ok)
        p = 0;
    qint64 d = passedDays.trimmed().toLongLong(&ok);
    if (!ok)
        d = 0;
    return p != 0 && d != 0 && p - d <= withinDays;
}
