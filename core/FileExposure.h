#pragma once

#include <QString>

/// A warning when the file at path can be read or written by users other than its owner, with the
/// command that fixes it; empty when it cannot (or does not exist).
QString FileExposureWarning(const QString& path);

/// Makes a file the owner's only (0600) or a folder (0700); returns whether it worked.
bool RestrictToOwner(const QString& path, bool folder);
