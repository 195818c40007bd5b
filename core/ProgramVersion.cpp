#include "core/ProgramVersion.h"

// VELTRANE_VERSION comes from the build, on this file only, so a new version rebuilds one file.
QString ProgramVersion()
{
    return QStringLiteral(VELTRANE_VERSION);
}
