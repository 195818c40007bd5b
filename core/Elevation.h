#pragma once

#include <QString>

#include <optional>

/// How a host's manager account gains the right to run passwd for another account. Stored as the
/// integer in Hosts.MngElevation; rows written before the column existed read 0, None.
enum class TElevation
{
    None = 0, ///< the manager account may already run passwd NAME (root, or a forced command)
    Sudo = 1, ///< sudo passwd NAME, answering sudo's own prompt with the manager password
    Su = 2,   ///< su - root -c 'passwd NAME', answering su's prompt with the host's root password
};

/// The column value for an elevation.
int ElevationValue(TElevation elevation);
/// The elevation of a column value; anything unknown (a later version's value) reads as None.
TElevation ElevationFromValue(int value);
/// "none", "sudo" or "su": the word the command-line tool and the CSV files use.
QString ElevationName(TElevation elevation);
/// Reads "none", "sudo" or "su" (letter case ignored, blanks around allowed); nullopt otherwise.
std::optional<TElevation> ParseElevation(const QString& text);
