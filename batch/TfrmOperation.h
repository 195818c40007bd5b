#pragma once

#include "batch/TBatchObserver.h"
#include "batch/TBatchRunner.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class TBatchOperations;
class TdmPublic;

/// The modal window in which one batch operation runs: one row per user with its state picture
/// and result, the title and status lines, the progress bar, Stop while running and Log / Close
/// afterwards. The work itself is TBatchRunner's; the window only shows it. The batch starts once,
/// when the window is first shown, and the window cannot be closed until it is over.
class TfrmOperation : public QDialog, private TBatchObserver
{
    Q_OBJECT
public:
    /// Fills the window for users (copies, in list order) and leaves it prepared: Stop shown, Log
    /// hidden, Close disabled, the caption of type and options on the window, title and list header.
    TfrmOperation(TdmPublic& dm, TBatchOperations& operations, TOperationType type, TOperationOptions options,
                  QList<TUser> users, QWidget* parent = nullptr);
    ~TfrmOperation() override;

    /// The operation's caption, e.g. "Test Login ".
    const QString& OperationCaption() const { return m_runner.OperationCaption(); }
    /// The users with their outcome, for the caller to copy back after the window closed.
    const QList<TUser>& Users() const { return m_runner.Users(); }
    TBatchRunner& Runner() { return m_runner; }

    /// Starts the batch (only the first call does) and returns; the window's event loop carries it
    /// on. An error that stopped it is shown in the program's error box once the window reached its
    /// finished state.
    void RunBatch();
    /// Shows the counters in the title line and message in the status line at once.
    void ShowProgress(const QString& message);
    /// Allows or refuses closing the window (close box, window menu, Alt+F4).
    void SetCloseEnabled(bool enabled);

    void btnStopClick();
    void btnCloseClick();
    void btnLogClick();
    void lvListDblClick();

    QFrame* aPlTop = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* lbTitle = nullptr;
    QFrame* plClient = nullptr;
    QTableWidget* lvList = nullptr;
    QFrame* plReportArea = nullptr;
    QLabel* plStatus = nullptr;
    QProgressBar* pbDoing = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnLog = nullptr;
    QPushButton* btnClose = nullptr;

public slots:
    /// Esc: stops while running, closes afterwards.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BatchStarted(int total) override;
    void RowStarted(int row) override;
    void RowFinished(int row, TRowState state, const QString& text, int done) override;
    void RowProgress(int row, const QString& message) override;
    void ProgressShown(const QString& title, const QString& status) override;
    void BatchFinished(const QString& title) override;

    void buildControls();
    void fillList();
    void setRowState(int row, TRowState state);
    /// The result column of row, in full: wrapped in the cell and as its tool tip.
    void setResultText(int row, const QString& text);
    void repaintRow(int row);
    void showRunningRows();
    void batchEnded();

    TdmPublic& m_dm;
    TBatchRunner m_runner;
    /// Rows in flight: when each started and its latest progress text.
    struct RunningRow
    {
        QElapsedTimer clock;
        QString message;
    };
    QHash<int, RunningRow> m_running;
    QTimer* m_elapsedTicker = nullptr;
    bool m_closeEnabled = false;
    bool m_activated = false;
};
