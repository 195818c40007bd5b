#pragma once

#include "batch/PasswordVerifier.h"
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchObserver.h"
#include "core/Records.h"
#include "engine/TActionStaus.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class TBatchOperations;
class TdmPublic;

/// Runs one batch operation over a list of users, one after the other: the remote operation, the
/// transcript and result texts, one database transaction per user (or the fallback log file), the
/// counters and the stop request. The runner window and the command-line companion both drive it.
class TBatchRunner
{
public:
    /// Milliseconds of a monotonic clock; replaceable so tests can control the elapsed times.
    using TickSource = std::function<qint64()>;

    /// users are copies the runner owns and updates; operations does the remote work.
    TBatchRunner(TdmPublic& dm, TBatchOperations& operations, TOperationType type, TOperationOptions options,
                 QList<TUser> users);

    TOperationType Type() const { return m_type; }
    TOperationOptions Options() const { return m_options; }
    /// The operation's caption, e.g. "Test Login " (window caption, list header, Logs.DoAction).
    const QString& OperationCaption() const { return m_caption; }
    /// The users in list order, with their outcome after the run.
    const QList<TUser>& Users() const { return m_users; }

    /// Whether a change is recorded in the database before its new password goes out (the default);
    /// only benchmarks turn it off, to measure what it costs.
    void SetWriteAheadIntent(bool on) { m_writeAheadIntent = on; }

    /// The observer that shows the run (not owned; may be null).
    void SetObserver(TBatchObserver* observer) { m_observer = observer; }
    void SetTickSource(TickSource ticks);

    /// Runs the batch; only the first call does anything. Always ends in the finished state
    /// (CancelRequested cleared, final totals shown), also when an error escapes, which is rethrown.
    void RunBatch();
    bool Started() const { return m_started; }
    bool Finished() const { return m_finished; }

    /// The progress reporter handed to every remote operation: shows the counters in the title
    /// line and message in the status line.
    void ShowProgress(const QString& message);

    /// The history blocks of every user that carries a result, in list order (the Log button).
    QString RunLogText() const;
    /// The history block of one row's user (a double-click on the row).
    QString RowHistoryText(int row) const;

    /// "Recorded Time: " pattern: short month name, day, year, two blanks, 12-hour clock, AM/PM, full stop.
    static QString RecordedTimeText(const QDateTime& time);

private:
    /// What a step did to its user besides the outcome texts.
    struct TStepOutcome
    {
        bool success = false;
        TRecordChanges changes;
    };

    void runUser(int row);
    TStepOutcome runOperation(TUser& user, double opTime);
    TStepOutcome changeStep(TUser& user, double opTime);
    TStepOutcome verifyStep(TUser& user, double opTime);
    /// Checks which password a host accepts after a change of unknown outcome and records it.
    TVerifyResult reconcile(TUser& user, TStepOutcome& step, double opTime);
    ProgressCallback progress();
    void finish();
    QString countersTitle() const;

    TdmPublic& m_dm;
    TBatchOperations& m_operations;
    TOperationType m_type;
    TOperationOptions m_options;
    QString m_caption;
    QList<TUser> m_users;
    TBatchObserver* m_observer = nullptr;
    TickSource m_ticks;
    TActionStaus m_status;
    bool m_started = false;
    bool m_finished = false;
    bool m_writeAheadIntent = true;
};
