#pragma once

#include "ui/Pictures.h"

#include <QToolButton>

class QAction;

/// A toolbar button that shows only its picture, in one of four looks: normal, hot (mouse over),
/// pressed and disabled. Bound to a command it takes the command's hint, enabling and visibility and
/// runs the command when clicked.
class TToolImageButton : public QToolButton
{
    Q_OBJECT
public:
    /// A 55 × 40 button showing the toolbar picture called picture.
    TToolImageButton(const QString& picture, QWidget* parent = nullptr);

    /// Binds the button to command (not owned).
    void SetCommand(QAction* command);
    QAction* Command() const { return m_command; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void followCommand();

    Pictures::ButtonLooks m_looks;
    QAction* m_command = nullptr;
};
