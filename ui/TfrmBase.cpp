#include "ui/TfrmBase.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>

#include <algorithm>

namespace {
QPointer<QWidget> g_mainWindow;
TfrmBase::ModalHook g_modalHook;
} // namespace

Qt::WindowFlags TfrmBase::DialogWindowFlags()
{
    // CustomizeWindowHint makes the hints below the whole list rather than additions to the defaults.
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

TfrmBase::TfrmBase(QWidget* parent) : QDialog(parent, DialogWindowFlags())
{
    setFont(DialogFont());
    setSizeGripEnabled(false);
}

void TfrmBase::SetMainWindow(QWidget* mainWindow)
{
    g_mainWindow = mainWindow;
}

QWidget* TfrmBase::MainWindow()
{
    return g_mainWindow.data();
}

QFont TfrmBase::DialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void TfrmBase::SetClientSize(int width, int height)
{
    setFixedSize(width, height);
}

int TfrmBase::ShowModal()
{
    return ExecModal(*this);
}

void TfrmBase::SetModalHook(ModalHook hook)
{
    g_modalHook = std::move(hook);
}

int TfrmBase::ExecModal(QDialog& dialog)
{
    if (!g_modalHook)
        return dialog.exec();
    // Copy first: the hook may replace itself while it runs.
    const ModalHook hook = g_modalHook;
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    hook(dialog);
    if (dialog.isVisible())
        dialog.hide();
    return dialog.result();
}

void TfrmBase::CentreOverMainWindow(QWidget& window)
{
    QWidget* reference = g_mainWindow.data();
    if (!reference || !reference->isVisible() || reference == &window)
        reference = QApplication::activeWindow();
    if (reference == &window)
        reference = nullptr;

    QScreen* screen = reference ? reference->screen() : window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QRect target = reference ? reference->frameGeometry() : area;
    const QSize size = window.frameGeometry().size();

    QPoint topLeft(target.x() + (target.width() - size.width()) / 2,
                   target.y() + (target.height() - size.height()) / 2);
    // Never put the title bar out of reach.
    if (area.isValid()) {
        topLeft.setX(std::max(topLeft.x(), area.x()));
        topLeft.setY(std::max(topLeft.y(), area.y()));
    }
    window.move(topLeft);
}

void TfrmBase::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        CentreOverMainWindow(*this);
    }
    QDialog::showEvent(event);
}
