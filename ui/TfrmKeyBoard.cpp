#include "ui/TfrmKeyBoard.h"

#include "ui/TfrmBase.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The US keyboard's main block, row by row, without the keys that type nothing. Letters have no
// shifted entry of their own: their case follows Caps and Shift.
constexpr char16_t kNormal[] = u"`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./";
constexpr char16_t kShifted[] = u"~!@#$%^&*()_+qwertyuiop{}|asdfghjkl:\"zxcvbnm<>?";
static_assert(sizeof(kNormal) / sizeof(char16_t) == TfrmKeyBoard::CharacterKeyCount + 1);
static_assert(sizeof(kShifted) / sizeof(char16_t) == TfrmKeyBoard::CharacterKeyCount + 1);

constexpr int kKeyHeight = 30;
constexpr int kKeyWidth = 30;
constexpr int kKeyPitch = 32;
constexpr const char* kKeyNumberProperty = "KeyNumber";

// First key number and left edge of each row of character keys.
struct KeyRow
{
    int first;
    int last;
    int x;
    int y;
};
constexpr KeyRow kRows[] = {{1, 13, 5, 5}, {14, 25, 53, 37}, {27, 37, 69, 69}, {38, 47, 85, 101}};

void SetCaptionColour(QToolButton* button, const QColor& colour)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, colour);
    button->setPalette(palette);
}

QColor EngagedColour(bool on)
{
    return on ? QColor(Qt::red) : QColor(Qt::black);
}

} // namespace

TfrmKeyBoard::TfrmKeyBoard(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmKeyBoard"));
    setWindowTitle(QStringLiteral("Virtual KeyBoard"));
    setFont(TfrmBase::DialogFont());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* menu = new QMenuBar(this);
    menu->addAction(QStringLiteral("&Close"), this, &TfrmKeyBoard::Close1Click);
    layout->setMenuBar(menu);
    auto* keys = new QWidget(this);
    keys->setFixedSize(ClientWidth, ClientHeight);
    layout->addWidget(keys);

    for (const KeyRow& row : kRows)
        for (int number = row.first; number <= row.last; ++number)
            m_keys[number - 1] =
                addKey(keys, QString(), row.x + (number - row.first) * kKeyPitch, row.y, kKeyWidth, number);
    m_keys[25] = addKey(keys, QString(), 437, 37, 46, 26); // the backslash key is wider

    sbBK = addKey(keys, QStringLiteral("BKSpace"), 421, 5, 62, 0);
    sbTab = addKey(keys, QStringLiteral("Tab"), 5, 37, 46, 0);
    sbTab->setEnabled(false);
    shCaps = addKey(keys, QStringLiteral("Caps"), 5, 69, 62, 0);
    sbEnter = addKey(keys, QStringLiteral("Enter"), 421, 69, 62, 0);
    sbShiftLeft = addKey(keys, QStringLiteral("Shift"), 5, 101, 78, 0);
    sbShiftRight = addKey(keys, QStringLiteral("Shift"), 405, 101, 78, 0);
    sbSpace = addKey(keys, QStringLiteral("Space"), 5, 133, 478, 0);
    for (QToolButton* named : {sbBK, sbTab, shCaps, sbEnter, sbShiftLeft, sbShiftRight, sbSpace}) {
        QFont bold = named->font();
        bold.setBold(true);
        named->setFont(bold);
    }

    for (QToolButton* key : m_keys)
        connect(key, &QToolButton::clicked, this, [this, key] { SpeedButton1Click(key); });
    connect(sbSpace, &QToolButton::clicked, this, [this] { SpeedButton1Click(sbSpace); });
    connect(sbBK, &QToolButton::clicked, this, &TfrmKeyBoard::sbBKClick);
    connect(shCaps, &QToolButton::clicked, this, &TfrmKeyBoard::shCapsClick);
    connect(sbShiftLeft, &QToolButton::clicked, this, &TfrmKeyBoard::sbShiftClick);
    connect(sbShiftRight, &QToolButton::clicked, this, &TfrmKeyBoard::sbShiftClick);
    connect(sbEnter, &QToolButton::clicked, this, &TfrmKeyBoard::sbEnterClick);

    SetCaptionColour(shCaps, EngagedColour(false));
    SetCaptionColour(sbShiftLeft, EngagedColour(false));
    SetCaptionColour(sbShiftRight, EngagedColour(false));
    RefreshKeyCaptions();
}

QToolButton* TfrmKeyBoard::addKey(QWidget* parent, const QString& caption, int x, int y, int width, int keyNumber)
{
    auto* key = new QToolButton(parent);
    key->setText(caption);
    key->setGeometry(x, y, width, kKeyHeight);
    key->setFocusPolicy(Qt::NoFocus);
    key->setCursor(Qt::PointingHandCursor);
    key->setProperty(kKeyNumberProperty, keyNumber);
    return key;
}

QString TfrmKeyBoard::KeyCharacter(int keyNumber) const
{
    if (keyNumber < 1 || keyNumber > CharacterKeyCount)
        return {};
    QChar c(kNormal[keyNumber - 1]);
    if (c.isLetter())
        c = (CapsOn != ShiftOn) ? c.toUpper() : c.toLower();
    else if (ShiftOn)
        c = QChar(kShifted[keyNumber - 1]);
    // A lone ampersand would mark an accelerator on the button instead of showing itself.
    return c == QLatin1Char('&') ? QStringLiteral("&&") : QString(c);
}

void TfrmKeyBoard::RefreshKeyCaptions()
{
    setUpdatesEnabled(false);
    for (QToolButton* key : findChildren<QToolButton*>()) {
        const int number = key->property(kKeyNumberProperty).toInt();
        if (number != 0)
            key->setText(KeyCharacter(number));
    }
    setUpdatesEnabled(true);
}

QString TfrmKeyBoard::GetTargetText() const
{
    return Target ? Target->text() : QString();
}

void TfrmKeyBoard::SetTargetText(const QString& text)
{
    if (Target)
        Target->setText(text);
}

QToolButton* TfrmKeyBoard::Key(int keyNumber) const
{
    if (keyNumber < 1 || keyNumber > CharacterKeyCount)
        return nullptr;
    return m_keys[keyNumber - 1];
}

void TfrmKeyBoard::SpeedButton1Click(QToolButton* button)
{
    QString typed = button->text();
    if (typed == QLatin1String("&&"))
        typed = QStringLiteral("&");
    else if (button == sbSpace)
        typed = QStringLiteral(" ");
    // Always at the end, wherever the field's caret or selection is.
    SetTargetText(GetTargetText() + typed);
}

void TfrmKeyBoard::sbBKClick()
{
    QString text = GetTargetText();
    text.chop(1);
    SetTargetText(text);
}

void TfrmKeyBoard::shCapsClick()
{
    CapsOn = !CapsOn;
    SetCaptionColour(shCaps, EngagedColour(CapsOn));
    RefreshKeyCaptions();
}

void TfrmKeyBoard::sbShiftClick()
{
    ShiftOn = !ShiftOn;
    SetCaptionColour(sbShiftLeft, EngagedColour(ShiftOn));
    SetCaptionColour(sbShiftRight, EngagedColour(ShiftOn));
    RefreshKeyCaptions();
}

void TfrmKeyBoard::sbEnterClick()
{
    Accepted = true;
    accept();
}

void TfrmKeyBoard::Close1Click()
{
    reject();
}

void TfrmKeyBoard::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        reject();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        sbEnterClick();
        break;
    case Qt::Key_Backspace:
        sbBKClick();
        break;
    default:
        break; // the physical keyboard types nothing here
    }
    event->accept();
}

QPoint KeyboardPlacement(const QPoint& fieldOrigin, const QSize& fieldSize, const QSize& keyboardSize, int screenBottom)
{
    int top = fieldOrigin.y() + fieldSize.height();
    if (screenBottom - top <= keyboardSize.height())
        top = fieldOrigin.y() - keyboardSize.height() - 5;
    const int left = fieldOrigin.x() - (keyboardSize.width() - fieldSize.width()) / 2;
    return {left, top};
}

void ShowKeyboard(QLineEdit* target, const std::function<void()>& followUp)
{
    if (!target)
        return;
    bool accepted = false;
    {
        TfrmKeyBoard keyboard(target->window());
        keyboard.Target = target;
        keyboard.adjustSize();
        // A native window knows its frame, so the placement can use the outer size.
        keyboard.winId();

        const QPoint origin = target->mapToGlobal(QPoint(0, 0));
        QScreen* screen = target->screen() ? target->screen() : QGuiApplication::primaryScreen();
        const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 0, 0);
        // The whole screen, not the work area.
        const int screenBottom = screenRect.y() + screenRect.height();
        keyboard.move(KeyboardPlacement(origin, target->size(), keyboard.frameGeometry().size(), screenBottom));

        TfrmBase::ExecModal(keyboard);
        accepted = keyboard.Accepted;
    }
    // The keyboard is gone before the follow-up runs, so that it can open windows of its own.
    if (accepted && followUp)
        followUp();
}
