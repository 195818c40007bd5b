#include "core/DayNumber.h"

#include <cmath>

namespace DayNumber {

namespace {
const QDate kEpoch(1899, 12, 30);
QDateTime g_fixedNow;
} // namespace

double FromDateTime(const QDateTime& local)
{
    const QDateTime t = local.toLocalTime();
    const double days = static_cast<double>(kEpoch.daysTo(t.date()));
    return days + t.time().msecsSinceStartOfDay() / 86400000.0;
}

QDateTime ToDateTime(double dayNumber)
{
    // A damaged or hand-edited row can hold any real; beyond what a date can hold there is no time.
    if (!std::isfinite(dayNumber) || std::fabs(dayNumber) > MaxMagnitude)
        return QDateTime();
    const double whole = std::floor(dayNumber);
    const qint64 msecs = std::llround((dayNumber - whole) * 86400000.0);
    const QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    return QDateTime(date, QTime(0, 0)).addMSecs(msecs);
}

double Now()
{
    return FromDateTime(CurrentDateTime());
}

QString Format(double dayNumber)
{
    return QString::asprintf("%.2f", dayNumber);
}

void SetFixedNow(const QDateTime& now)
{
    g_fixedNow = now;
}

QDateTime CurrentDateTime()
{
    return g_fixedNow.isValid() ? g_fixedNow : QDateTime::currentDateTime();
}

} // namespace DayNumber
