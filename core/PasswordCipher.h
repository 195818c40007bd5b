#pragma once

#include <QString>

/// The program's password cipher. Enciphered text is uppercase hexadecimal: two digits of a random
/// starting value, then two per UTF-8 byte of the plain text. The empty text stays empty.
QString EncipherPassword(const QString& plain);

/// Undoes EncipherPassword. Never fails: malformed text gives a wrong or empty plain text.
QString DecipherPassword(const QString& text);

/// EncipherPassword with a given starting value (0 to 255), for reproducible tests.
QString EncipherPasswordWithStart(const QString& plain, int start);
