#pragma once

#include <QString>

/// The few services that differ between operating systems. One source file per platform.
namespace Platform {

/// Full path of the running executable.
QString ExecutablePath();

/// Directory that holds the running executable, without a trailing separator.
QString ExecutableDir();

/// Takes the system-wide named guard that keeps a second instance from running. Returns false
/// when another process holds it. The guard stays held until the process ends; the system
/// releases it then, however the process ends.
bool AcquireSingleInstance(const QString& name);

} // namespace Platform
