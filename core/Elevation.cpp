#include "core/Elevation.h"

int ElevationValue(TElevation elevation)
{
    return static_cast<int>(elevation);
}

TElevation ElevationFromValue(int value)
{
    switch (value) {
    case 1:
        return TElevation::Sudo;
    case 2:
        return TElevation::Su;
    default:
        return TElevation::None;
    }
}

QString ElevationName(TElevation elevation)
{
    switch (elevation) {
    case TElevation::Sudo:
        return QStringLiteral("sudo");
    case TElevation::Su:
        return QStringLiteral("su");
    case TElevation::None:
        break;
    }
    return QStringLiteral("none");
}

std::optional<TElevation> ParseElevation(const QString& text)
{
    const QString word = text.trimmed();
    for (const TElevation elevation : {TElevation::None, TElevation::Sudo, TElevation::Su})
        if (word.compare(ElevationName(elevation), Qt::CaseInsensitive) == 0)
            return elevation;
    return std::nullopt;
}
