#pragma once

#include <QStringList>

/// Reads the command line and hands it to the command it names.
namespace CliCommands {

/// arguments without the program name. Returns the exit code; throws CliError.
int run(const QStringList& arguments);

} // namespace CliCommands
