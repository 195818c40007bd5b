#pragma once

#include <QString>

/// The --help texts: one overview and one page per command, each with an example.
namespace CliHelp {

/// The overview of every command (veltrane-cli --help).
QString overview();
/// The page of one command ("host add", "import", "test-login"); empty when there is none.
QString command(const QString& name);

} // namespace CliHelp
