#include "ui/GuiUiServices.h"

#include "batch/TfrmRunLog.h"
#include "ui/BallHint.h"
#include "ui/TfrmBase.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace {

QList<int> g_nextAnswers;
QList<ShownMessageBox> g_shown;

// Windows message-box flag groups.
constexpr int kTypeMask = 0x0F;
constexpr int kIconMask = 0xF0;
constexpr int kDefaultMask = 0xF00;

QList<QMessageBox::StandardButton> ButtonsOfType(int type)
{
    switch (type) {
    case 1:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case 2:
        return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case 3:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case 4:
        return {QMessageBox::Yes, QMessageBox::No};
    case 5:
        return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
        return {QMessageBox::Ok};
    }
}

// What closing the box without a button means: Cancel where there is one, else No, else the only button.
QMessageBox::StandardButton EscapeButton(QMessageBox::StandardButtons buttons)
{
    for (QMessageBox::StandardButton b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok})
        if (buttons.testFlag(b))
            return b;
    return QMessageBox::NoButton;
}

QWidget* ActiveOwner()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

} // namespace

MessageBoxLook LookOfStyle(int style)
{
    MessageBoxLook look;
    const QList<QMessageBox::StandardButton> buttons = ButtonsOfType(style & kTypeMask);
    look.buttons = {};
    for (QMessageBox::StandardButton b : buttons)
        look.buttons |= b;
    switch (style & kIconMask) {
    case 0x10:
        look.icon = QMessageBox::Critical;
        break;
    case 0x20:
        look.icon = QMessageBox::Question;
        break;
    case 0x30:
        look.icon = QMessageBox::Warning;
        break;
    case 0x40:
        look.icon = QMessageBox::Information;
        break;
    default:
        look.icon = QMessageBox::NoIcon;
        break;
    }
    const int defaultIndex = (style & kDefaultMask) >> 8;
    look.defaultButton = defaultIndex < buttons.size() ? buttons.at(defaultIndex) : buttons.first();
    return look;
}

int ButtonCode(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return ButtonOk;
    case QMessageBox::Cancel:
        return ButtonCancel;
    case QMessageBox::Abort:
        return 3;
    case QMessageBox::Retry:
        return 4;
    case QMessageBox::Ignore:
        return 5;
    case QMessageBox::Yes:
        return ButtonYes;
    case QMessageBox::No:
        return ButtonNo;
    default:
        return 0;
    }
}

int BalloonIconValue(BalloonIcon icon)
{
    switch (icon) {
    case BalloonIcon::Error:
        return 16;
    case BalloonIcon::Warning:
        return 48;
    case BalloonIcon::Info:
        return 64;
    default:
        return 0;
    }
}

int GuiUiServices::messageBox(const QString& text, const QString& caption, int style)
{
    const MessageBoxLook look = LookOfStyle(style);
    QWidget* owner = ActiveOwner();
    QMessageBox box(look.icon, caption, text, look.buttons, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(look.defaultButton);
    box.setEscapeButton(EscapeButton(look.buttons));

    ShownMessageBox shown;
    shown.text = text;
    shown.caption = box.windowTitle();
    shown.style = style;
    shown.look.buttons = box.standardButtons();
    shown.look.icon = box.icon();
    shown.look.defaultButton = box.standardButton(box.defaultButton());
    shown.owner = owner;

    if (!g_nextAnswers.isEmpty()) {
        shown.answer = g_nextAnswers.takeFirst();
    } else {
        TfrmBase::ExecModal(box);
        QAbstractButton* clicked = box.clickedButton();
        const QMessageBox::StandardButton pressed = clicked ? box.standardButton(clicked) : EscapeButton(look.buttons);
        shown.answer = ButtonCode(pressed);
    }
    g_shown.append(shown);
    return shown.answer;
}

void GuiUiServices::showRunLog(const QString& text, const QString& caption)
{
    ShowRunLog(text, caption);
}

void GuiUiServices::setStatusText(const QString& text)
{
    if (m_statusPane)
        m_statusPane(text);
}

void GuiUiServices::showBalloonTip(QObject* control, const QString& text, BalloonIcon icon, int durationMs)
{
    auto* widget = qobject_cast<QWidget*>(control);
    if (!widget) {
        // Nothing to point at: the message still appears, at the mouse pointer.
        BallTip().Duration = durationMs;
        const int kind = icon == BalloonIcon::Error     ? bhiError
                         : icon == BalloonIcon::Warning ? bhiWarning
                         : icon == BalloonIcon::Info    ? bhiInformation
                                                        : bhiNone;
        BallTip().ShowBalloonHint(kind, text, QString(), 0, QCursor::pos(), nullptr, false, Balloon::AboveLeft);
        return;
    }
    if (icon == BalloonIcon::None) {
        BallTip().Duration = durationMs;
        BallTip().ShowBalloonHint(bhiNone, text, QString(), 0, QPoint(0, 0), widget, true, Balloon::AboveLeft);
        return;
    }
    ShowBalloonTip(widget, text, 1, true, durationMs, BalloonIconValue(icon));
}

void GuiUiServices::processEvents()
{
    QCoreApplication::processEvents();
}

void GuiUiServices::SetStatusPane(std::function<void(const QString&)> setter)
{
    m_statusPane = std::move(setter);
}

void GuiUiServices::SetStatusPane(QLabel* label)
{
    if (!label) {
        m_statusPane = nullptr;
        return;
    }
    QPointer<QLabel> guarded(label);
    m_statusPane = [guarded](const QString& text) {
        if (guarded)
            guarded->setText(text);
    };
}

void GuiUiServices::setNextAnswer(int button)
{
    g_nextAnswers.append(button);
}

void GuiUiServices::clearNextAnswers()
{
    g_nextAnswers.clear();
}

const QList<ShownMessageBox>& GuiUiServices::shownMessageBoxes()
{
    return g_shown;
}

void GuiUiServices::clearShown()
{
    g_shown.clear();
}
