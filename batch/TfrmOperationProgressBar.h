#pragma once

#include <QProgressBar>

/// The runner window's progress bar: a row of LED segments that light from the left, without a
/// percentage. Value and range work as on any QProgressBar.
class TfrmOperationProgressBar : public QProgressBar
{
    Q_OBJECT
public:
    static constexpr int SegmentCount = 50;

    explicit TfrmOperationProgressBar(QWidget* parent = nullptr);

    /// How many of segments are lit for value within [minimum, maximum]: none at the minimum, all at
    /// the maximum, and none for an empty range (the bar has nothing to count yet).
    static int LitSegments(int value, int minimum, int maximum, int segments = SegmentCount);

protected:
    void paintEvent(QPaintEvent* event) override;
};
