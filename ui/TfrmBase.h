#pragma once

#include <QDialog>

#include <functional>

/// The base of the small dialogs: a fixed 8-point sans font, fixed pixel sizes, and centred over
/// the main window (or the active window) when shown.
class TfrmBase : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmBase(QWidget* parent = nullptr);

    /// The title bar of every dialog: a caption and a close box, no minimise or maximise. A window
    /// manager may otherwise offer both, and a minimised modal dialog leaves the main window blocked
    /// with nothing on screen to say why.
    static Qt::WindowFlags DialogWindowFlags();

    /// The main window registers itself here so that dialogs centre over it; nullptr unregisters.
    static void SetMainWindow(QWidget* mainWindow);
    static QWidget* MainWindow();

    /// The font of the small dialogs: MS Sans Serif 8 pt, or the closest sans font there is.
    static QFont DialogFont();

    /// Fixes the dialog's client area to width × height pixels.
    void SetClientSize(int width, int height);

    /// Shows the dialog modally (through the modal hook when one is set) and returns its result.
    int ShowModal();

    /// Replaces the modal loop of every dialog shown through ExecModal: the dialog is shown without a
    /// loop, the hook drives it (clicks, fills fields, accepts or rejects), then the dialog is hidden
    /// and its result returned. Tests use it; an empty hook restores exec().
    using ModalHook = std::function<void(QDialog& dialog)>;
    static void SetModalHook(ModalHook hook);
    /// Runs a dialog modally, or hands it to the modal hook when one is set; returns its result.
    static int ExecModal(QDialog& dialog);

    /// Moves a window so that it is centred over the main window, the active window or the screen.
    static void CentreOverMainWindow(QWidget& window);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_placed = false;
};
