#pragma once

#include <QObject>

/// F1 in a dialog or window other than the main window opens that window's page of the manual, in a
/// help window that belongs to it (so a modal dialog does not block it). A window the manual has no
/// page for takes the page of the window it was opened from. The main window's F1 is its Help Topics
/// command. Watches the whole application while it exists.
class THelpKey : public QObject
{
    Q_OBJECT
public:
    THelpKey();
    ~THelpKey() override;
    THelpKey(const THelpKey&) = delete;
    THelpKey& operator=(const THelpKey&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
