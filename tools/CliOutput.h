#pragma once

#include <QString>

/// Where veltrane-cli writes: results to standard output, diagnostics to standard error, each
/// as UTF-8.
namespace CliOutput {

/// Writes text to standard output unchanged.
void out(const QString& text);
/// Writes "veltrane-cli: message" and a line break to standard error.
void error(const QString& message);
/// text from the database or a host made safe for one line of a terminal: every control character,
/// line breaks included, shown as an escape ("\x1b", "\r\n"), never sent raw.
QString data(const QString& text);
/// Whether standard output is a terminal (progress lines are shown only there).
bool stdoutIsTerminal();

} // namespace CliOutput
