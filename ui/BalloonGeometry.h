#pragma once

// Geometry of the balloon hint: content layout, placement, shape. No widgets here, so every rule can
// be checked without a display.

#include <QList>
#include <QPair>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <functional>

namespace Balloon {

inline constexpr int TailHeight = 20;
inline constexpr int TailWidth = 20;
/// Distance between the tail's tip and the near side edge of the balloon.
inline constexpr int TailOffset = 20;
inline constexpr int CornerEllipse = 7;
inline constexpr int ScreenMargin = 10;

/// Preferred positions: where the balloon lies relative to the tail tip.
enum Position : int
{
    AboveLeft = 0,  ///< above, extending to the left; tail tip at the anchor's top-left corner
    AboveRight = 1, ///< above, extending to the right; tail tip at the top-right corner
    BelowLeft = 2,  ///< below, extending to the left; tail tip at the bottom-left corner
    BelowRight = 3, ///< below, extending to the right; tail tip at the bottom-right corner
};

/// What the balloon points at, as screen edges where right = left + width and bottom = top + height.
/// A point is an anchor whose four edges coincide.
struct Anchor
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static Anchor FromRect(const QRect& rect);
    static Anchor FromPoint(const QPoint& point);
};

/// Room for the balloon on each side of the anchor, tail and screen margin already taken off.
struct Room
{
    int left = 0;
    int up = 0;
    int right = 0;
    int down = 0;
};

/// The room around an anchor on a screen of the given size (origin at 0, 0).
Room RoomAround(const Anchor& anchor, const QSize& screen);

/// The largest content size, taken from the quadrant with the largest area (left-up, left-down,
/// right-up, right-down; the first wins on a tie).
QSize QuadrantLimits(const Room& room);

/// The preferred position if the panel fits there, else the next that fits in the order 0, 1, 2, 3
/// (cyclic), else the position of the largest quadrant.
int ChoosePosition(const Room& room, const QSize& panel, int preferred);

/// Where the balloon window goes and where its content panel lies inside it.
struct Placement
{
    int position = AboveLeft;
    QPoint tailTip; ///< screen coordinates
    QRect window;   ///< screen coordinates
    QRect panel;    ///< window coordinates
};

/// Sizes and places the window of a panel at a chosen position beside the anchor.
Placement PlaceBalloon(const Anchor& anchor, int position, const QSize& panel);

/// The rounded body of a balloon window of the given size, in window coordinates.
QRect BodyRect(int position, const QSize& window);
/// The tail triangle, in window coordinates.
QPolygon TailPolygon(int position, const QSize& window);
/// The window's shape: rounded body united with the tail.
QRegion BalloonRegion(int position, const QSize& window);
/// The panel's own shape, leaving one pixel of the balloon's edge visible around it.
QRegion PanelRegion(const QSize& panel);
/// A rounded rectangle region like the window system's: right and bottom edges excluded.
QRegion RoundRectRegion(const QRect& rect, int ellipse);
/// The one-pixel-wide inner boundary of a region: the pixels with a 4-neighbour outside it.
QRegion EdgeOfRegion(const QRegion& region);

/// The balloon's content and size limits. They travel as one text of quoted Name=Value pairs.
struct Content
{
    QString iconName; ///< "INFO", "ERROR", "WARNING" or empty
    QString title;
    QString text;
    int bestWidth = 0;
    int maxWidth = 0;
    int maxHeight = 0;
};

using Pairs = QList<QPair<QString, QString>>;
/// Joins pairs as 'Name=Value' items (quotes inside doubled) separated by ";".
QString JoinDescription(const Pairs& pairs);
/// Splits a text made by JoinDescription back into its pairs.
Pairs SplitDescription(const QString& description);
/// The description of a new balloon: icon, title, text and best width, in that order.
QString DescribeContent(const QString& iconName, const QString& title, const QString& text, int bestWidth);
/// Appends the size limits found by the placement to a description.
QString AppendLimits(const QString& description, const QSize& limits);
/// Reads a description; missing numbers are 0.
Content ContentFromDescription(const QString& description);

/// Measures a text laid out word-wrapped at the given width, the way a self-sizing label does:
/// the widest line and the total height. An empty text still takes one line.
using TextMeasure = std::function<QSize(const QString& text, int width)>;

/// Where the pieces of the content go, in panel coordinates.
struct Layout
{
    QRect icon;  ///< null when there is no icon
    QRect title; ///< null when there is no title
    QRect text;
    QSize panel;
    bool scrolls = false; ///< the content did not fit and sits in a scroll box filling the panel
    bool textSizesItself = true;
};

/// Lays out icon, title and text inside the panel within the content's size limits.
Layout LayoutContent(const Content& content, const QSize& iconSize, const QSize& titleSize, const TextMeasure& measure);

} // namespace Balloon
