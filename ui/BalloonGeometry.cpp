#include "ui/BalloonGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Balloon {

namespace {

const QString kIconKey = QStringLiteral("IconeResName");
const QString kTitleKey = QStringLiteral("Title");
const QString kTextKey = QStringLiteral("Text");
const QString kBestWidthKey = QStringLiteral("MainPanelBestWidth");
const QString kMaxWidthKey = QStringLiteral("MainPanelMaxWidth");
const QString kMaxHeightKey = QStringLiteral("MainPanelMaxHeight");

// Horizontal and vertical room of each position, in position order.
QSize RoomOf(const Room& room, int position)
{
    switch (position) {
    case AboveLeft:
        return {room.left, room.up};
    case AboveRight:
        return {room.right, room.up};
    case BelowLeft:
        return {room.left, room.down};
    default:
        return {room.right, room.down};
    }
}

// The quadrant with the largest area, as a position; the first wins on a tie. 64-bit so that a
// huge virtual screen cannot overflow the comparison.
int LargestQuadrant(const Room& room)
{
    const int order[] = {AboveLeft, BelowLeft, AboveRight, BelowRight};
    int best = order[0];
    qint64 bestArea = std::numeric_limits<qint64>::min();
    for (int position : order) {
        const QSize r = RoomOf(room, position);
        const qint64 area = qint64(r.width()) * qint64(r.height());
        if (area > bestArea) {
            bestArea = area;
            best = position;
        }
    }
    return best;
}

int NormalisedPosition(int position)
{
    return ((position % 4) + 4) % 4;
}

bool IsAbove(int position)
{
    return position == AboveLeft || position == AboveRight;
}

// A label that sizes itself: its box follows the measured text at its current width.
struct SelfSizingLabel
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    int right() const { return left + width; }
    int bottom() const { return top + height; }
    void remeasure(const QString& text, const TextMeasure& measure)
    {
        const QSize size = measure(text, width);
        width = size.width();
        height = size.height();
    }
    // Narrows by step and re-measures; false when the text would not get any narrower (a word
    // wider than the label), so that loops that narrow step by step always end.
    bool narrow(int step, const QString& text, const TextMeasure& measure)
    {
        const int before = width;
        width -= step;
        remeasure(text, measure);
        return width < before;
    }
};

} // namespace

Anchor Anchor::FromRect(const QRect& rect)
{
    return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

Anchor Anchor::FromPoint(const QPoint& point)
{
    return {point.x(), point.y(), point.x(), point.y()};
}

Room RoomAround(const Anchor& anchor, const QSize& screen)
{
    const int hw = (anchor.right - anchor.left) / 2;
    const int hh = (anchor.bottom - anchor.top) / 2;
    const int cx = anchor.left + hw;
    const int cy = anchor.top + hh;
    Room room;
    room.left = cx - hw + TailOffset - ScreenMargin;
    room.up = cy - hh - TailHeight - ScreenMargin;
    room.right = screen.width() - cx - hw + TailOffset - ScreenMargin;
    room.down = screen.height() - cy - hh - TailHeight - ScreenMargin;
    return room;
}

QSize QuadrantLimits(const Room& room)
{
    return RoomOf(room, LargestQuadrant(room));
}

int ChoosePosition(const Room& room, const QSize& panel, int preferred)
{
    const int first = NormalisedPosition(preferred);
    for (int step = 0; step < 4; ++step) {
        const int position = (first + step) % 4;
        const QSize r = RoomOf(room, position);
        if (panel.width() <= r.width() && panel.height() <= r.height())
            return position;
    }
    return LargestQuadrant(room);
}

Placement PlaceBalloon(const Anchor& anchor, int position, const QSize& panel)
{
    Placement p;
    p.position = NormalisedPosition(position);
    const bool above = IsAbove(p.position);
    const int panelTop = above ? 0 : TailHeight + 2;
    const int clientHeight = above ? panel.height() + TailHeight - 1 : panelTop + panel.height() + 1;
    const int width = std::max(panel.width() + 1, TailOffset + TailWidth + 1);
    const int height = std::max(clientHeight, TailHeight + 2);
    p.panel = QRect(0, panelTop, panel.width(), panel.height());

    switch (p.position) {
    case AboveLeft:
        p.tailTip = QPoint(anchor.left, anchor.top);
        p.window = QRect(p.tailTip.x() + TailOffset - width, p.tailTip.y() - height, width, height);
        break;
    case AboveRight:
        p.tailTip = QPoint(anchor.right, anchor.top);
        p.window = QRect(p.tailTip.x() - TailOffset, p.tailTip.y() - height, width, height);
        break;
    case BelowLeft:
        p.tailTip = QPoint(anchor.left, anchor.bottom);
        p.window = QRect(p.tailTip.x() + TailOffset - width, p.tailTip.y() - 2, width, height);
        break;
    default:
        p.tailTip = QPoint(anchor.right, anchor.bottom);
        p.window = QRect(p.tailTip.x() - TailOffset, p.tailTip.y() - 2, width, height);
        break;
    }
    return p;
}

QRect BodyRect(int position, const QSize& window)
{
    const int w = window.width();
    const int h = window.height();
    if (IsAbove(NormalisedPosition(position)))
        return QRect(0, 0, w, h - TailHeight + 2);
    return QRect(0, TailHeight + 2, w, h - TailHeight - 2);
}

QPolygon TailPolygon(int position, const QSize& window)
{
    const int w = window.width();
    const int h = window.height();
    switch (NormalisedPosition(position)) {
    case AboveLeft:
        return QPolygon({QPoint(w - 40, h - 20), QPoint(w - 20, h), QPoint(w - 20, h - 20)});
    case AboveRight:
        return QPolygon({QPoint(20, h - 20), QPoint(20, h), QPoint(40, h - 20)});
    case BelowLeft:
        return QPolygon({QPoint(w - 20, 2), QPoint(w - 20, 22), QPoint(w - 40, 22)});
    default:
        return QPolygon({QPoint(20, 2), QPoint(20, 22), QPoint(40, 22)});
    }
}

QRegion BalloonRegion(int position, const QSize& window)
{
    const QRegion body = RoundRectRegion(BodyRect(position, window), CornerEllipse);
    return body.united(QRegion(TailPolygon(position, window), Qt::WindingFill));
}

QRegion PanelRegion(const QSize& panel)
{
    return RoundRectRegion(QRect(1, 1, panel.width() - 1, panel.height() - 1), CornerEllipse);
}

QRegion RoundRectRegion(const QRect& rect, int ellipse)
{
    const int w = rect.width();
    const int h = rect.height();
    if (w <= 0 || h <= 0)
        return {};
    const double radius = ellipse / 2.0;
    QRegion region;
    for (int row = 0; row < h; ++row) {
        // Vertical distance of the pixel centre from the corner circle's centre, when in a corner band.
        const double centre = row + 0.5;
        double dy = 0;
        if (centre < radius)
            dy = radius - centre;
        else if (h - centre < radius)
            dy = radius - (h - centre);
        int inset = 0;
        if (dy > 0) {
            const double dx = std::sqrt(std::max(0.0, radius * radius - dy * dy));
            inset = std::max(0, int(std::ceil(radius - dx - 0.5)));
        }
        if (2 * inset >= w)
            continue;
        region += QRect(rect.x() + inset, rect.y() + row, w - 2 * inset, 1);
    }
    return region;
}

QRegion EdgeOfRegion(const QRegion& region)
{
    QRegion inner = region;
    inner &= region.translated(1, 0);
    inner &= region.translated(-1, 0);
    inner &= region.translated(0, 1);
    inner &= region.translated(0, -1);
    return region.subtracted(inner);
}

QString JoinDescription(const Pairs& pairs)
{
    QStringList items;
    for (const auto& [name, value] : pairs) {
        QString item = name + QLatin1Char('=') + value;
        item.replace(QLatin1Char('\''), QStringLiteral("''"));
        items.append(QLatin1Char('\'') + item + QLatin1Char('\''));
    }
    return items.join(QLatin1Char(';'));
}

Pairs SplitDescription(const QString& description)
{
    Pairs pairs;
    const QChar quote = QLatin1Char('\'');
    const QChar separator = QLatin1Char(';');
    qsizetype i = 0;
    const qsizetype n = description.size();
    while (i < n) {
        QString item;
        if (description.at(i) == quote) {
            ++i;
            while (i < n) {
                if (description.at(i) == quote) {
                    if (i + 1 < n && description.at(i + 1) == quote) {
                        item += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += description.at(i++);
            }
            while (i < n && description.at(i) != separator)
                ++i;
        } else {
            while (i < n && description.at(i) != separator)
                item += description.at(i++);
        }
        ++i; // the separator
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq < 0)
            pairs.append({item, QString()});
        else
            pairs.append({item.left(eq), item.mid(eq + 1)});
    }
    return pairs;
}

QString DescribeContent(const QString& iconName, const QString& title, const QString& text, int bestWidth)
{
    return JoinDescription(
        {{kIconKey, iconName}, {kTitleKey, title}, {kTextKey, text}, {kBestWidthKey, QString::number(bestWidth)}});
}

QString AppendLimits(const QString& description, const QSize& limits)
{
    const QString more = JoinDescription(
        {{kMaxWidthKey, QString::number(limits.width())}, {kMaxHeightKey, QString::number(limits.height())}});
    return description.isEmpty() ? more : description + QLatin1Char(';') + more;
}

Content ContentFromDescription(const QString& description)
{
    Content content;
    for (const auto& [name, value] : SplitDescription(description)) {
        if (name == kIconKey)
            content.iconName = value;
        else if (name == kTitleKey)
            content.title = value;
        else if (name == kTextKey)
            content.text = value;
        else if (name == kBestWidthKey)
            content.bestWidth = value.toInt();
        else if (name == kMaxWidthKey)
            content.maxWidth = value.toInt();
        else if (name == kMaxHeightKey)
            content.maxHeight = value.toInt();
    }
    return content;
}

Layout LayoutContent(const Content& content, const QSize& iconSize, const QSize& titleSize, const TextMeasure& measure)
{
    Layout out;
    const bool hasIcon = !content.iconName.isEmpty();
    const bool hasTitle = !content.title.isEmpty();
    if (hasIcon)
        out.icon = QRect(QPoint(10, 13), iconSize);
    if (hasTitle) {
        const int left = hasIcon ? out.icon.x() + out.icon.width() + 8 : 10;
        out.title = QRect(QPoint(left, 15), titleSize);
    }
    const int iconBottom = hasIcon ? out.icon.y() + out.icon.height() : 0;
    const int titleBottom = hasTitle ? out.title.y() + out.title.height() : 0;
    const int titleRight = hasTitle ? out.title.x() + out.title.width() : 0;

    SelfSizingLabel label;
    label.left = 10;
    label.top = (hasIcon || hasTitle) ? std::max(iconBottom, titleBottom) + 8 : 10;
    label.width = content.bestWidth - 20;
    label.remeasure(content.text, measure);

    QSize panel;
    const auto fitPanel = [&] {
        panel = QSize(label.right() + 10, label.bottom() + 10);
    };
    fitPanel();

    // Too high: take the widest text there is room for, then narrow it again while it still fits.
    if (panel.height() > content.maxHeight) {
        label.width = content.maxWidth - 20;
        label.remeasure(content.text, measure);
        fitPanel();
        bool narrowed = false;
        int remembered = label.width;
        while (panel.height() < content.maxHeight && label.width > content.bestWidth) {
            remembered = label.width;
            narrowed = true;
            const bool moved = label.narrow(10, content.text, measure);
            fitPanel();
            if (!moved)
                break;
        }
        if (narrowed && panel.height() > content.maxHeight) {
            label.width = remembered;
            label.remeasure(content.text, measure);
            fitPanel();
        }
    }

    // Too wide: trade width for height while there is height to spare.
    while (panel.width() > content.maxWidth && panel.height() < content.maxHeight) {
        const bool moved = label.narrow(10, content.text, measure);
        fitPanel();
        if (!moved)
            break;
    }

    // A title wider than the text sets the width.
    if (hasTitle && titleRight + 10 > panel.width()) {
        panel.setWidth(titleRight + 10);
        label.width = titleRight - label.left;
        label.remeasure(content.text, measure);
        panel.setHeight(label.bottom() + 10);
    }

    panel.setHeight(panel.height() - 12);

    // Still too large: clamp the panel and let the content scroll.
    if (panel.width() > content.maxWidth || panel.height() > content.maxHeight) {
        out.scrolls = true;
        panel.setWidth(panel.width() + 20);
        const bool clampedWidth = panel.width() > content.maxWidth;
        panel.setWidth(std::min(panel.width(), content.maxWidth));
        panel.setHeight(std::min(panel.height(), content.maxHeight));
        if (clampedWidth) {
            label.width -= 20;
            label.remeasure(content.text, measure);
        }
        if (label.bottom() + 10 > panel.height()) {
            out.textSizesItself = false;
            label.height += 10;
        }
    }

    out.text = QRect(label.left, label.top, label.width, label.height);
    out.panel = panel;
    return out;
}

} // namespace Balloon
