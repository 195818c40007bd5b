#pragma once

#include <QDateTime>
#include <QString>

/// Day numbers: days since 1899-12-30 in local time, the fraction being the time of day; -1 means none.
namespace DayNumber {

constexpr double None = -1.0;
/// Largest distance from the epoch that still converts to a date (QDateTime holds about
/// 292 million years either side of 1970).
constexpr double MaxMagnitude = 1e11;

/// The day number of a local date and time.
double FromDateTime(const QDateTime& local);
/// The local date and time of a day number; invalid for a value that is not finite or lies
/// further than MaxMagnitude days from the epoch.
QDateTime ToDateTime(double dayNumber);
/// Now, as a day number (through the clock seam, so tests can fix it).
double Now();
/// Exactly two decimals and a point, whatever the locale: -1.00, 39814.50.
QString Format(double dayNumber);

/// The clock seam: tests set a fixed "now"; an invalid value restores the system clock.
void SetFixedNow(const QDateTime& now);
QDateTime CurrentDateTime();

} // namespace DayNumber
