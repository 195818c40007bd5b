#pragma once

#include "core/Records.h"

#include <QDateTime>
#include <QStringList>

/// The seven texts a user shows in the user list: Login, New Password, Valid Period, Passed Days,
/// Full Name, E-mail, Last Change Time. now is the moment the Passed Days are counted against.
QStringList UserListTexts(const TUser& user, const QDateTime& now);

/// Whole days between the last change and now, without sign; empty when there was no change or the
/// stored time is no date at all (not finite, or beyond DayNumber::MaxMagnitude).
QString PassedDaysText(double pwLastTime, const QDateTime& now);

/// True when the valid period runs out within `withinDays` days or has run out, but not on the day of
/// the last change and never for a user without a valid period. Takes the texts as shown in the list.
bool PasswordDueSoon(const QString& validPeriod, const QString& passedDays, int withinDays = 7);
