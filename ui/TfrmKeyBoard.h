#pragma once

#include <QDialog>

#include <array>
#include <functional>

class QLineEdit;
class QToolButton;

/// The on-screen keyboard: a US-layout keyboard of buttons that types into one edit field by mouse
/// clicks, so that a password can be entered without the physical keyboard.
class TfrmKeyBoard : public QDialog
{
    Q_OBJECT
public:
    static constexpr int CharacterKeyCount = 47;
    static constexpr int ClientWidth = 488;
    static constexpr int ClientHeight = 168;

    explicit TfrmKeyBoard(QWidget* parent = nullptr);

    bool CapsOn = false;
    bool ShiftOn = false;
    /// The window was closed by Enter.
    bool Accepted = false;
    /// The field that receives the typing.
    QLineEdit* Target = nullptr;

    /// Caption of character key number (1 to 47) for the present Caps and Shift states; an ampersand
    /// comes back as "&&" so that the button shows it instead of taking it as an accelerator.
    QString KeyCharacter(int keyNumber) const;
    /// Recomputes the captions of all character keys.
    void RefreshKeyCaptions();
    QString GetTargetText() const;
    void SetTargetText(const QString& text);

    /// Character key 1 to 47.
    QToolButton* Key(int keyNumber) const;
    QToolButton* sbBK = nullptr;
    QToolButton* sbTab = nullptr;
    QToolButton* shCaps = nullptr;
    QToolButton* sbEnter = nullptr;
    QToolButton* sbShiftLeft = nullptr;
    QToolButton* sbShiftRight = nullptr;
    QToolButton* sbSpace = nullptr;

    /// A character key or Space was clicked: appends its character to the field's text.
    void SpeedButton1Click(QToolButton* button);
    /// BKSpace: removes the field's last character.
    void sbBKClick();
    void shCapsClick();
    /// Either Shift key: Shift stays engaged until clicked again.
    void sbShiftClick();
    /// Enter: accept and close.
    void sbEnterClick();
    /// The "&Close" menu item: close without accepting.
    void Close1Click();

protected:
    /// Physical keys: Escape closes, Enter acts as "Enter", Backspace as "BKSpace"; the rest is ignored.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QToolButton* addKey(QWidget* parent, const QString& caption, int x, int y, int width, int keyNumber);

    std::array<QToolButton*, CharacterKeyCount> m_keys{};
};

/// Where the keyboard goes: directly below the field, or 5 pixels above it when the screen has no
/// room below; centred horizontally on the field. fieldOrigin is the field's top-left in screen
/// coordinates; screenBottom the bottom edge (top + height) of the whole screen.
QPoint KeyboardPlacement(const QPoint& fieldOrigin, const QSize& fieldSize, const QSize& keyboardSize,
                         int screenBottom);

/// Opens the keyboard modally beside target; when it is closed with Enter, runs followUp (if any).
void ShowKeyboard(QLineEdit* target, const std::function<void()>& followUp = {});
