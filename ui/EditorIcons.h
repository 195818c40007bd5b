#pragma once

// Pictures of the editors' flat buttons, drawn in code so that no image files are needed.

#include <QIcon>

/// Two linked computers: the button that tests a login.
QIcon TestLoginIcon();

/// An eye: the button that shows or masks a password.
QIcon ShowPasswordIcon();

/// A star of sparks: the button that generates a new password.
QIcon GeneratePasswordIcon();
