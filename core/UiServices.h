#pragma once

#include <QString>

class QObject;

/// Message-box styles of the program (Windows flag values, kept because callers compare them).
enum MsgBoxStyle : int
{
    StyleConfirm = 292,    ///< Yes and No, question icon, No is the default button
    StyleInformation = 64, ///< OK, information icon
    StyleError = 16,       ///< OK, error icon
};

/// Button codes returned by MsgBox.
enum MsgBoxButton : int
{
    ButtonOk = 1,
    ButtonCancel = 2,
    ButtonYes = 6,
    ButtonNo = 7,
};

/// Icons of the balloon tip beside an input field.
enum class BalloonIcon
{
    None,
    Info,
    Warning,
    Error
};

/// Everything the widget-free code needs from the screen. The GUI program installs the real
/// implementation; the command-line companion and the tests install their own.
class UiServices
{
public:
    virtual ~UiServices();

    /// Shows a modal message box and returns the MsgBoxButton pressed.
    virtual int messageBox(const QString& text, const QString& caption, int style) = 0;
    /// Shows a long text in the modal read-only viewer.
    virtual void showRunLog(const QString& text, const QString& caption) = 0;
    /// Sets the main window's status pane, when there is one.
    virtual void setStatusText(const QString& text) = 0;
    /// Shows a balloon tip beside a control (a QWidget in the GUI).
    virtual void showBalloonTip(QObject* control, const QString& text, BalloonIcon icon, int durationMs) = 0;
    /// Processes pending window events once, so that long waits keep the windows alive.
    virtual void processEvents() = 0;
};

/// Services used when nothing else is installed: texts go to standard error, questions are answered No.
class ConsoleUiServices : public UiServices
{
public:
    int messageBox(const QString& text, const QString& caption, int style) override;
    void showRunLog(const QString& text, const QString& caption) override;
    void setStatusText(const QString& text) override;
    void showBalloonTip(QObject* control, const QString& text, BalloonIcon icon, int durationMs) override;
    void processEvents() override;
};

/// Installs the services (not owned); nullptr restores the console services.
void InstallUiServices(UiServices* services);
/// The services currently installed.
UiServices& Ui();

/// Shows a message box owned by the active window; returns the button code.
int MsgBox(const QString& text, const QString& caption, int style);
/// Shows a message box and tells whether Yes was pressed.
bool MsgBoxYes(const QString& text, const QString& caption, int style);
