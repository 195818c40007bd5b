#pragma once

#include <QString>

/// The version of both programs ("2.02"), the one of the build (CMake's project version).
QString ProgramVersion();
