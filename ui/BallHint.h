#pragma once

// The balloon hint: a pale-yellow speech balloon with an icon and a message that points at a control
// and closes by a click, a typed character, a click elsewhere or a timer.

#include "ui/BalloonGeometry.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QScrollArea;
class QTimer;
class QVariantAnimation;

/// How a balloon comes up on the screen.
enum TBallHintAnimationType : int
{
    batNone = 0,
    batBlend = 1,
    batCenter = 2,
    batSlideLeftToRight = 3,
    batSlideRightToLeft = 4,
    batSlideTopToBottom = 5,
    batSlideBottomToTop = 6,
    batWipeLeftToRight = 7,
    batWipeRightToLeft = 8,
    batWipeTopToBottom = 9,
    batWipeBottomToTop = 10,
};

/// Icon kinds of ShowBalloonHint.
enum TBallHintIcon : int
{
    bhiInformation = 0,
    bhiError = 1,
    bhiWarning = 2,
    bhiNone = 3
};

/// One balloon on the screen. It never takes the activation, so the window that opened it keeps
/// its active look and its focus.
class TBallHint : public QWidget
{
    Q_OBJECT
public:
    /// owner: the window the balloon belongs to (it dies with it); may be nullptr.
    explicit TBallHint(QWidget* owner);
    ~TBallHint() override;

    /// Places, shapes and shows the balloon. description: as made by Balloon::DescribeContent.
    /// control (may be nullptr) is what the tail points at; without it, point (screen coordinates).
    /// durationMs > 0 closes the balloon after that time.
    void Popup(const QString& description, const QPoint& point, QWidget* control, bool focusBack, int durationMs,
               int preferredPosition, TBallHintAnimationType animation, int animationSpeedMs);

    /// Gives the focus back to the anchor when asked to, then releases the balloon once the current
    /// event has been handled. Calling it again does nothing.
    void CloseBalloon();

    /// The position taken by the last Popup (Balloon::Position).
    int Position() const { return m_placement.position; }
    /// The placement of the last Popup.
    const Balloon::Placement& placement() const { return m_placement; }
    /// The content layout of the last Popup.
    const Balloon::Layout& layout() const { return m_layout; }
    /// The full description text, limits included.
    const QString& description() const { return m_description; }
    bool isClosing() const { return m_closing; }
    QWidget* mainPanel() const { return m_panel; }

    /// The balloon's colour ($E1FFFF as 0x00BBGGRR).
    static QColor BalloonColor();
    /// Tahoma 8 pt (or the closest sans font there is).
    static QFont BalloonFont();

protected:
    /// A click on the balloon or any part of its content.
    virtual void BalloonClick();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildContent(const Balloon::Content& content);
    void startAnimation(TBallHintAnimationType animation, int speedMs);
    bool isOwnWidget(const QWidget* widget) const;
    bool isInScrollBar(const QWidget* widget) const;

    QString m_description;
    Balloon::Layout m_layout;
    Balloon::Placement m_placement;
    QRegion m_region;
    QWidget* m_panel = nullptr;
    QScrollArea* m_scrollBox = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_text = nullptr;
    QTimer* m_timer = nullptr;
    QVariantAnimation* m_animation = nullptr;
    QPointer<QWidget> m_anchor;
    QPointer<QWidget> m_opener; ///< the window that was active when the balloon came up
    bool m_focusBack = false;
    bool m_closing = false;
};

/// Shows balloons with shared settings. The program has one, BallTip().
class TBallHintTip
{
public:
    /// Milliseconds after which a balloon closes by itself; 0 or less keeps it until dismissed.
    int Duration = 0;
    TBallHintAnimationType AnimationType = batNone;
    /// Milliseconds of the appearing animation.
    int AnimationSpeed = 300;

    /// Creates and shows a new balloon. iconKind: TBallHintIcon; point is used when control is
    /// nullptr; preferredPosition 0 to 3 (Balloon::Position).
    TBallHint* ShowBalloonHint(int iconKind, const QString& title, const QString& text, int bestWidth,
                               const QPoint& point, QWidget* control, bool focusBack, int preferredPosition);

    /// Destroys every balloon at once, without giving any focus back; returns how many there were.
    static int CloseAllBalloons();
};

/// The program's balloon settings (never animated).
TBallHintTip& BallTip();

/// The balloon every dialog uses for its messages: the message as title beside the icon of a
/// message-box icon value (16 error, 48 warning, anything else information). positionFlag non-zero
/// puts it above and to the left of the control, else above and to the right.
TBallHint* ShowBalloonTip(QWidget* control, const QString& message, int positionFlag, bool focusBack, int durationMs,
                          int icon);

/// Removes every balloon still showing; returns how many.
int CloseAllBalloons();
