#pragma once

#include <QString>

#include <cstdint>
#include <functional>

/// Gives a uniformly distributed integer from 0 to bound - 1; bound is at least 1.
using UniformBelow = std::function<std::uint32_t(std::uint32_t bound)>;

/// A draw from the operating system's cryptographically strong source, by rejection so that
/// every value below bound is exactly equally likely.
std::uint32_t SecureUniformBelow(std::uint32_t bound);

/// The generator's R(a, b): from a to b - 1 when b > a, a when b = a, from b to a - 1 when b < a.
int RandomBetween(int a, int b, const UniformBelow& draw);

/// A new password of length characters: letters always, digits and special characters when
/// switched on, their counts drawn twice nested so that small counts are favoured, the pool then
/// mixed by random takes and inserts. A negative length gives the empty password.
QString GeneratePassword(bool digits, bool specials, int length);

/// GeneratePassword with every random number taken from draw (tests pass a deterministic one).
QString GeneratePassword(bool digits, bool specials, int length, const UniformBelow& draw);

/// The character classes, in the order the pool is built from them.
inline constexpr char PasswordLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr char PasswordDigits[] = "0123456789";
inline constexpr char PasswordSpecials[] = "~!@#$%^&*()_+{}|:\"<>?`-=[]\\;',./";
