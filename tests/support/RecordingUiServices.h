#pragma once

#include "core/UiServices.h"

#include <QList>
#include <QString>

/// Records everything the code under test shows, and answers message boxes from a queue.
/// Installs itself for its lifetime.
class RecordingUiServices : public UiServices
{
public:
    struct Shown
    {
        QString kind; ///< "msgbox", "runlog", "status" or "balloon"
        QString text;
        QString caption;
        int style = 0;
        QObject* control = nullptr; ///< may be gone by the time a test looks: compare controlName then
        QString controlName{};
        BalloonIcon icon = BalloonIcon::None;
        int durationMs = 0;
    };

    RecordingUiServices();
    ~RecordingUiServices() override;

    int messageBox(const QString& text, const QString& caption, int style) override;
    void showRunLog(const QString& text, const QString& caption) override;
    void setStatusText(const QString& text) override;
    void showBalloonTip(QObject* control, const QString& text, BalloonIcon icon, int durationMs) override;
    void processEvents() override;

    /// The next message box returns this button (then the default: Yes for questions, OK otherwise).
    void setNextAnswer(int button) { m_answers.append(button); }
    /// Everything shown of one kind, in order.
    QList<Shown> shown(const QString& kind) const;
    void clear() { m_shown.clear(); }

    QList<Shown> all;
    int pumps = 0;

private:
    QList<Shown> m_shown;
    QList<int> m_answers;
};
