#pragma once

#include "core/UiServices.h"

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

class QLabel;

/// How a message-box style looks: its buttons, icon and default button.
struct MessageBoxLook
{
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
};

/// Reads Windows-style message-box flags (button set, icon, default button) into their look.
MessageBoxLook LookOfStyle(int style);
/// The MsgBoxButton code of a standard button.
int ButtonCode(QMessageBox::StandardButton button);

/// What a message box showed, for tests.
struct ShownMessageBox
{
    QString text;
    QString caption;
    int style = 0;
    MessageBoxLook look;
    QWidget* owner = nullptr;
    int answer = 0;
};

/// The UI services of the GUI program: real message boxes, the text viewer, the status pane and the
/// balloon hint.
class GuiUiServices : public UiServices
{
public:
    /// Shows a message box owned by the active window, captioned as passed.
    int messageBox(const QString& text, const QString& caption, int style) override;
    /// Opens the modal text viewer.
    void showRunLog(const QString& text, const QString& caption) override;
    /// Writes into the status pane the main window registered; nothing when there is none.
    void setStatusText(const QString& text) override;
    /// Shows the balloon above and to the left of control (a QWidget), giving the focus back when it
    /// closes; anything that is not a widget is ignored.
    void showBalloonTip(QObject* control, const QString& text, BalloonIcon icon, int durationMs) override;
    /// Processes pending window events once.
    void processEvents() override;

    /// The main window registers its status pane; an empty function unregisters it.
    void SetStatusPane(std::function<void(const QString&)> setter);
    /// Convenience: the status pane is a label (forgotten when the label is destroyed).
    void SetStatusPane(QLabel* label);

    /// Test hook: the next message box is not shown but answered with button (a MsgBoxButton code).
    /// Answers are used in the order queued; with none queued, message boxes run modally.
    static void setNextAnswer(int button);
    static void clearNextAnswers();
    /// Test hook: every message box asked for since the last clearShown, in order.
    static const QList<ShownMessageBox>& shownMessageBoxes();
    static void clearShown();

private:
    std::function<void(const QString&)> m_statusPane;
};

/// The message-box icon value of a balloon icon (16 error, 48 warning, 64 information, 0 none).
int BalloonIconValue(BalloonIcon icon);
