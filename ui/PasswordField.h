#pragma once

class QLineEdit;

/// Turns field into a password field that hides its text behind asterisks, the character the
/// program has always shown (styles pick a bullet otherwise). Showing the text later is a matter
/// of the echo mode alone.
void MakePasswordField(QLineEdit& field);
