#pragma once

#include <QString>
#include <QStringList>

/// veltrane-cli paths: where the programs keep their files, one "Name: path" line each.
namespace CliPaths {

/// databaseOverride: the --db PATH, or empty. Returns the exit code; throws CliError.
int run(const QString& databaseOverride, const QStringList& arguments);

} // namespace CliPaths
