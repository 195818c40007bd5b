#pragma once

/// Ctrl+C as the runner's Stop button: the first SIGINT only raises a flag, which the message
/// pump hands to the data module; a second one ends the process at once.
namespace CliInterrupt {

/// Installs the SIGINT handler.
void install();
/// Whether Ctrl+C has been pressed since install().
bool requested();

} // namespace CliInterrupt
