#pragma once

#include <QString>

#include <optional>

/// The command line of the GUI program: --help and --version, answered on standard output before
/// any window exists, so they work without a display (the man page is made from --help).
namespace ProgramCommandLine {

/// The --help text.
QString HelpText();

/// Answers --help or --version and returns the exit code; nothing when neither was given (other
/// arguments, Qt's own such as -platform, are left to the application).
std::optional<int> Answer(int argc, char* argv[]);

} // namespace ProgramCommandLine
