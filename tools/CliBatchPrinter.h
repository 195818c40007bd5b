#pragma once

#include "batch/TBatchObserver.h"
#include "core/Records.h"

#include <QList>
#include <QString>

/// Shows a running batch on the console: one line per user as it finishes (login, host:port and
/// the runner's row text), then the runner's totals line. On a terminal a progress line shows the
/// user in progress and the engine's latest message; piped output gets the plain lines only.
class CliBatchPrinter : public TBatchObserver
{
public:
    /// users: the runner's users, in row order (read when a row starts or finishes).
    CliBatchPrinter(const QList<TUser>& users, bool progressLine);

    void BatchStarted(int total) override;
    void RowStarted(int row) override;
    void RowFinished(int row, TRowState state, const QString& text, int done) override;
    void ProgressShown(const QString& title, const QString& status) override;
    void RowProgress(int row, const QString& message) override;
    void BatchFinished(const QString& title) override;

    /// The line printed for a finished user.
    static QString ResultLine(const TUser& user, const QString& rowText);

private:
    void showProgress(const QString& status);
    void clearProgress();

    const QList<TUser>& m_users;
    bool m_progressLine;
    bool m_progressShown = false;
    int m_total = 0;
    int m_row = -1;
};
