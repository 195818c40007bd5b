#pragma once

#include <QString>

#include <memory>

class TfrmMain;

/// The start of the GUI program after the single-instance guard: the data module, then the main
/// window, built and filled while hidden, behind the login. A database under the user's own password
/// is opened by the login dialog before the window is built, since the window reads it as it is
/// built; with plain protection the login comes once the hidden window is ready. Returns the hidden
/// window, or nullptr when the login was cancelled.
std::unique_ptr<TfrmMain> StartMainWindow(const QString& executablePath);
