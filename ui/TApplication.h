#pragma once

#include <QApplication>

/// The GUI application object. An error that no command catches ends up here and is shown in the
/// general error box (its message, an error icon, the program's title); the program carries on.
class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
