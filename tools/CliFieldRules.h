#pragma once

#include <QString>

#include <optional>

/// How command options and CSV columns read the fields that are not plain text.
namespace CliFieldRules {

/// Hosts.UseManager: log in through the manager account, or with the user's own account.
constexpr int UseManagerAccount = -1;
constexpr int UseUserAccount = 1;

/// "manager" or "user" (case ignored) as a UseManager value; nullopt for anything else.
std::optional<int> parseLoginAs(const QString& text);
/// The word for a UseManager value.
QString loginAsText(int useManager);

/// A valid period in days: a whole number from 0; empty, "none" and "-1" mean no period (-1).
/// nullopt for anything else.
std::optional<int> parsePeriod(const QString& text);

/// A switch column: "1" or "yes" is on, "0", "no" or empty is off (case ignored); nullopt for anything else.
std::optional<bool> parseSwitch(const QString& text);
/// "yes" or "no".
QString switchText(bool on);

} // namespace CliFieldRules
