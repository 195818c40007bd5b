#include "ui/PasswordField.h"

#include <QLineEdit>

void MakePasswordField(QLineEdit& field)
{
    // Per field rather than for the whole application: a style sheet there would restyle every widget.
    field.setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    field.setEchoMode(QLineEdit::Password);
}
