#pragma once

#include <QString>

#include <functional>

/// Receives the progress texts of a remote operation ("Connect to ...", "Sending...").
using ProgressCallback = std::function<void(const QString&)>;
