#include "ui/BallHint.h"

#include "ui/DrawnIcons.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>

namespace {

QString IconResourceName(int iconKind)
{
    switch (iconKind) {
    case bhiInformation:
        return QStringLiteral("INFO");
    case bhiError:
        return QStringLiteral("ERROR");
    case bhiWarning:
        return QStringLiteral("WARNING");
    default:
        return {};
    }
}

// The part of the balloon shown at a moment of its appearing animation, never empty (an empty
// mask would show the whole window).
QRect RevealRect(TBallHintAnimationType type, const QSize& size, double progress)
{
    const int w = std::max(1, int(size.width() * progress));
    const int h = std::max(1, int(size.height() * progress));
    switch (type) {
    case batCenter:
        return QRect((size.width() - w) / 2, (size.height() - h) / 2, w, h);
    case batSlideLeftToRight:
    case batWipeLeftToRight:
        return QRect(0, 0, w, size.height());
    case batSlideRightToLeft:
    case batWipeRightToLeft:
        return QRect(size.width() - w, 0, w, size.height());
    case batSlideTopToBottom:
    case batWipeTopToBottom:
        return QRect(0, 0, size.width(), h);
    case batSlideBottomToTop:
    case batWipeBottomToTop:
        return QRect(0, size.height() - h, size.width(), h);
    default:
        return QRect(QPoint(0, 0), size);
    }
}

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// A label that draws its text exactly as the layout measured it: QLabel's own wrapping can break
// lines a few pixels differently and so cut off the last line.
class BalloonLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (text().isEmpty()) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(contentsRect(), wordWrap() ? kTextFlags : int(Qt::AlignLeft | Qt::AlignTop), text());
    }
};

QLabel* NewLabel(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new BalloonLabel(parent);
    // Messages come from hosts and users: never interpret them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMargin(0);
    label->setIndent(0);
    // Set on each piece: a style sheet on the owning dialog would otherwise hand them its own font.
    label->setFont(TBallHint::BalloonFont());
    label->setText(text);
    label->setGeometry(geometry);
    return label;
}

Balloon::TextMeasure MeasureWith(const QFontMetrics& metrics)
{
    return [metrics](const QString& text, int width) {
        // An empty label still takes one line.
        const QString shown = text.isEmpty() ? QStringLiteral(" ") : text;
        const QRect box = metrics.boundingRect(QRect(0, 0, std::max(width, 1), 1 << 20), kTextFlags, shown);
        return QSize(box.width(), std::max(box.height(), metrics.height()));
    };
}

} // namespace

TBallHint::TBallHint(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("TBallHint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFont(BalloonFont());
    QPalette colours = palette();
    colours.setColor(QPalette::Window, BalloonColor());
    colours.setColor(QPalette::Base, BalloonColor());
    colours.setColor(QPalette::Button, BalloonColor());
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    // The balloon is a child window of the dialog: keep the dialog's style sheet (colours and font
    // size) off its content.
    setStyleSheet(QStringLiteral("QWidget { background-color: #FFFFE1; color: black; border: none; "
                                 "font-size: 8pt; font-weight: normal; font-style: normal; }"));
}

TBallHint::~TBallHint()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

QColor TBallHint::BalloonColor()
{
    return QColor(255, 255, 225);
}

QFont TBallHint::BalloonFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void TBallHint::buildContent(const Balloon::Content& given)
{
    Balloon::Content content = given;
    const QPixmap icon = BalloonIconPixmap(content.iconName);
    if (icon.isNull())
        content.iconName.clear();

    const QFontMetrics metrics(font());
    const QSize titleSize =
        metrics.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::AlignLeft | Qt::AlignTop, content.title).size();
    m_layout = Balloon::LayoutContent(content, icon.size(), titleSize, MeasureWith(metrics));

    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("MainPanel"));
    m_panel->setAutoFillBackground(true);
    m_panel->setAttribute(Qt::WA_StyledBackground);
    m_panel->resize(m_layout.panel);

    QWidget* host = m_panel;
    if (m_layout.scrolls) {
        m_scrollBox = new QScrollArea(m_panel);
        m_scrollBox->setFrameShape(QFrame::NoFrame);
        m_scrollBox->setGeometry(QRect(QPoint(0, 0), m_layout.panel));
        host = new QWidget;
        host->setAutoFillBackground(true);
    }
    if (!m_layout.icon.isNull()) {
        m_icon = NewLabel(host, QString(), m_layout.icon);
        m_icon->setPixmap(icon);
    }
    if (!m_layout.title.isNull())
        m_title = NewLabel(host, content.title, m_layout.title);
    m_text = NewLabel(host, content.text, m_layout.text);
    m_text->setWordWrap(true);
    if (m_scrollBox) {
        QRect extent = m_layout.text;
        extent |= m_layout.title;
        extent |= m_layout.icon;
        host->resize(extent.right() + 1 + 10, extent.bottom() + 1);
        m_scrollBox->setWidget(host);
    }
}

void TBallHint::Popup(const QString& description, const QPoint& point, QWidget* control, bool focusBack, int durationMs,
                      int preferredPosition, TBallHintAnimationType animation, int animationSpeedMs)
{
    m_opener = QApplication::activeWindow();
    m_focusBack = focusBack;
    m_anchor = control;

    const Balloon::Anchor anchor =
        control ? Balloon::Anchor::FromRect(QRect(control->mapToGlobal(QPoint(0, 0)), control->size()))
                : Balloon::Anchor::FromPoint(point);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 0, 0);
    // The room is measured on the primary screen with its origin at 0, 0.
    const Balloon::Anchor onScreen{anchor.left - screenRect.x(), anchor.top - screenRect.y(),
                                   anchor.right - screenRect.x(), anchor.bottom - screenRect.y()};
    const Balloon::Room room = Balloon::RoomAround(onScreen, screenRect.size());

    m_description = Balloon::AppendLimits(description, Balloon::QuadrantLimits(room));
    buildContent(Balloon::ContentFromDescription(m_description));

    const int position = Balloon::ChoosePosition(room, m_layout.panel, preferredPosition);
    m_placement = Balloon::PlaceBalloon(anchor, position, m_layout.panel);
    setGeometry(m_placement.window);
    m_panel->setGeometry(m_placement.panel);
    m_panel->setMask(Balloon::PanelRegion(m_placement.panel.size()));
    m_region = Balloon::BalloonRegion(position, m_placement.window.size());
    setMask(m_region);

    hide();
    startAnimation(animation, animationSpeedMs);
    show();
    raise();
    update();

    QCoreApplication::instance()->installEventFilter(this);
    if (durationMs > 0) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &TBallHint::CloseBalloon);
        m_timer->start(durationMs);
    }
}

void TBallHint::startAnimation(TBallHintAnimationType animation, int speedMs)
{
    if (animation == batNone || speedMs <= 0)
        return;
    const auto apply = [this, animation](double progress) {
        if (animation == batBlend)
            setWindowOpacity(progress);
        else
            setMask(m_region.intersected(RevealRect(animation, size(), progress)));
    };
    apply(0.0);
    m_animation = new QVariantAnimation(this);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setDuration(speedMs);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [apply](const QVariant& v) { apply(v.toDouble()); });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        setWindowOpacity(1.0);
        setMask(m_region);
    });
    m_animation->start();
}

void TBallHint::CloseBalloon()
{
    if (m_closing)
        return;
    m_closing = true;
    QCoreApplication::instance()->removeEventFilter(this);
    if (m_timer)
        m_timer->stop();
    if (m_focusBack && m_anchor && m_anchor->isEnabled() && m_anchor->isVisible() &&
        m_anchor->focusPolicy() != Qt::NoFocus)
        m_anchor->setFocus(Qt::OtherFocusReason);
    hide();
    // Deferred: the balloon may be closing from inside one of its own event handlers.
    deleteLater();
}

void TBallHint::BalloonClick()
{
    CloseBalloon();
}

void TBallHint::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), BalloonColor());
    for (const QRect& r : Balloon::EdgeOfRegion(m_region))
        painter.fillRect(r, Qt::black);
}

void TBallHint::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    BalloonClick();
}

bool TBallHint::isOwnWidget(const QWidget* widget) const
{
    for (const QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget())
        if (w == this)
            return true;
    return false;
}

bool TBallHint::isInScrollBar(const QWidget* widget) const
{
    for (const QWidget* w = widget; w && w != this; w = w->parentWidget())
        if (qobject_cast<const QScrollBar*>(w))
            return true;
    return false;
}

bool TBallHint::eventFilter(QObject* watched, QEvent* event)
{
    if (m_closing)
        return false;
    // Only widget deliveries: each event also passes by its native window first.
    auto* widget = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
        if (!widget)
            return false;
        if (isOwnWidget(widget)) {
            if (isInScrollBar(widget))
                return false;
            BalloonClick();
            return true;
        }
        // A click elsewhere is what takes the activation away from a balloon; the click goes on.
        // When the click itself moves the focus (it already has by now), that focus stays.
        if (widget->focusPolicy() & Qt::ClickFocus)
            m_focusBack = false;
        CloseBalloon();
        return false;
    case QEvent::KeyPress:
        if (!widget || static_cast<QKeyEvent*>(event)->text().isEmpty())
            return false;
        // A typed character goes to the balloon, as if it had the focus, and closes it.
        CloseBalloon();
        return true;
    case QEvent::ApplicationDeactivate:
        CloseBalloon();
        return false;
    case QEvent::WindowDeactivate:
        if (widget && widget == m_opener)
            CloseBalloon();
        return false;
    default:
        return false;
    }
}

TBallHint* TBallHintTip::ShowBalloonHint(int iconKind, const QString& title, const QString& text, int bestWidth,
                                         const QPoint& point, QWidget* control, bool focusBack, int preferredPosition)
{
    QWidget* owner = control ? control->window() : QApplication::activeWindow();
    // Owned by the window it belongs to, so that no balloon outlives its dialog.
    auto* balloon = new TBallHint(owner);
    balloon->Popup(Balloon::DescribeContent(IconResourceName(iconKind), title, text, bestWidth), point, control,
                   focusBack, Duration, preferredPosition, AnimationType, AnimationSpeed);
    return balloon;
}

int TBallHintTip::CloseAllBalloons()
{
    QList<TBallHint*> balloons;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* balloon = qobject_cast<TBallHint*>(window))
            balloons.append(balloon);
    for (TBallHint* balloon : balloons)
        delete balloon;
    return int(balloons.size());
}

TBallHintTip& BallTip()
{
    static TBallHintTip tip;
    return tip;
}

TBallHint* ShowBalloonTip(QWidget* control, const QString& message, int positionFlag, bool focusBack, int durationMs,
                          int icon)
{
    BallTip().Duration = durationMs;
    int kind = bhiInformation;
    if (icon == 16)
        kind = bhiError;
    else if (icon == 48)
        kind = bhiWarning;
    return BallTip().ShowBalloonHint(kind, message, QString(), 0, QPoint(0, 0), control, focusBack,
                                     positionFlag != 0 ? Balloon::AboveLeft : Balloon::AboveRight);
}

int CloseAllBalloons()
{
    return TBallHintTip::CloseAllBalloons();
}
