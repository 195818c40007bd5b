#include "batch/TfrmOperationProgressBar.h"

#include <QPainter>

#include <algorithm>

namespace {

const QColor LitColour(0x00, 0x80, 0x00);
const QColor UnlitColour(0xD8, 0xD8, 0xD8);
constexpr int SegmentGap = 2;

} // namespace

TfrmOperationProgressBar::TfrmOperationProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
}

int TfrmOperationProgressBar::LitSegments(int value, int minimum, int maximum, int segments)
{
    if (maximum <= minimum || segments <= 0)
        return 0;
    const qint64 done = std::clamp(value, minimum, maximum) - static_cast<qint64>(minimum);
    // Rounded down: the last segment lights only when the last user is done.
    return static_cast<int>(done * segments / (static_cast<qint64>(maximum) - minimum));
}

void TfrmOperationProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (area.width() <= 0 || area.height() <= 0)
        return;
    const int lit = LitSegments(value(), minimum(), maximum());
    // Each segment's edges are computed from the whole width, so rounding never leaves a ragged end.
    for (int segment = 0; segment < SegmentCount; ++segment) {
        const int left = area.left() + area.width() * segment / SegmentCount;
        const int right = area.left() + area.width() * (segment + 1) / SegmentCount - SegmentGap;
        if (right < left)
            continue;
        const QRect cell(QPoint(left + 1, area.top() + 1), QPoint(right, area.bottom() - 1));
        painter.fillRect(cell, segment < lit ? LitColour : UnlitColour);
    }
}
