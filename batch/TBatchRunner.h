#pragma once

#include "batch/PasswordVerifier.h"
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchObserver.h"
#include "core/Records.h"
#include "engine/TActionStaus.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <QHash>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class CancelSignal;
class QObject;
class QThreadPool;
class TBatchOperations;
class TdmPublic;

/// Runs one batch operation over a list of users: the remote work on worker threads, up to a number
/// of hosts at once and the accounts of one host one after another in list order; the transcript
/// and result texts, one database transaction per user (or the fallback log file), the counters and
/// the stop request on the main thread, where every outcome is saved in the order it arrives. The
/// runner window and the command-line companion both drive it.
class TBatchRunner
{
public:
    /// Milliseconds of a monotonic clock; replaceable so tests can control the elapsed times.
    using TickSource = std::function<qint64()>;

    static constexpr int MinParallelHosts = 1;
    static constexpr int MaxParallelHosts = 32;
    static constexpr int DefaultParallelHosts = 4;

    /// users are copies the runner owns and updates; operations does the remote work.
    TBatchRunner(TdmPublic& dm, TBatchOperations& operations, TOperationType type, TOperationOptions options,
                 QList<TUser> users);
    /// Stops what is still in flight and waits for it.
    ~TBatchRunner();
    TBatchRunner(const TBatchRunner&) = delete;
    TBatchRunner& operator=(const TBatchRunner&) = delete;

    TOperationType Type() const { return m_type; }
    TOperationOptions Options() const { return m_options; }
    /// The operation's caption, e.g. "Test Login " (window caption, list header, Logs.DoAction).
    const QString& OperationCaption() const { return m_caption; }
    /// The users in list order, with their outcome after the run.
    const QList<TUser>& Users() const { return m_users; }

    /// Whether a change is recorded in the database before its new password goes out (the default);
    /// only benchmarks turn it off, to measure what it costs.
    void SetWriteAheadIntent(bool on) { m_writeAheadIntent = on; }
    /// Whether the accounts of one host share the manager's connection (the default); only benchmarks
    /// turn it off, to compare with a login per account.
    void SetShareHostConnections(bool on) { m_shareConnections = on; }
    /// How many hosts are worked on at once (clamped to 1..32); 1 runs the users in list order.
    /// Whether a change the host reports as a success is checked at once by the new password, and the
    /// record follows what the check finds (off unless set; the windows and the command line set it from
    /// [Options] VerifyAfterChange).
    void SetVerifyAfterChange(bool on) { m_verifyAfterChange = on; }
    void SetParallelHosts(int hosts);
    int ParallelHosts() const { return m_parallelHosts; }

    /// The observer that shows the run (not owned; may be null).
    void SetObserver(TBatchObserver* observer) { m_observer = observer; }
    void SetTickSource(TickSource ticks);
    /// Called once the batch has finished (after the observer's BatchFinished).
    void SetFinishedHandler(std::function<void()> handler) { m_finishedHandler = std::move(handler); }

    /// Starts the batch and returns at once; the main thread's event loop carries it on. Only the
    /// first call does anything.
    void Start();
    /// Starts the batch and waits for its end in an event loop of its own (the command-line
    /// companion and tests). Always ends in the finished state; an error that stopped the batch is
    /// rethrown.
    void RunBatch();
    /// Cancels every conversation in flight at its next wait and starts no new one.
    void Stop();
    bool StopRequested() const;
    bool Started() const { return m_started; }
    bool Finished() const { return m_finished; }
    /// The error that stopped the batch (an outcome kept nowhere, say), or null.
    std::exception_ptr Error() const { return m_error; }

    int Total() const { return static_cast<int>(m_users.size()); }
    int Done() const { return m_done; }
    int Succeeded() const { return m_succeeded; }

    /// Shows the counters in the title line and message in the status line.
    void ShowProgress(const QString& message);

    /// The history blocks of every user that carries a result, in list order (the Log button).
    QString RunLogText() const;
    /// The history block of one row's user (a double-click on the row).
    QString RowHistoryText(int row) const;

    /// "Recorded Time: " pattern: short month name, day, year, two blanks, 12-hour clock, AM/PM, full stop.
    static QString RecordedTimeText(const QDateTime& time);

    struct Job;
    struct Lane;

private:
    /// Runs fn on the main thread in turn with the runner's other main-thread work; never inside it.
    void post(std::function<void()> fn);
    void drain();
    void scheduleMore();
    int nextStartableRow() const;
    void startUser(int row);
    void finishUser(const std::shared_ptr<Job>& job);
    void progressOf(int row, const QString& message);
    void finish();
    QString countersTitle() const;

    // Worker side.
    void work(Job& job);
    void changeStep(Job& job);
    /// What follows the dialog of a change: the check, the record's passwords, the notice mail.
    void settleChange(Job& job);
    /// Frees job's host for its next account and runs the settling of job's change apart (main thread).
    void checkApart(const std::shared_ptr<Job>& job);
    void verifyStep(Job& job);
    TVerifyResult reconcile(Job& job, bool pendingFirst);
    /// Runs fn on the main thread and waits for it; rethrows what it threw.
    void onMainThread(const std::function<void()>& fn);

    std::unique_ptr<QObject> m_context; // receives the workers' queued calls on the main thread
    QList<std::function<void()>> m_mainQueue;
    std::atomic<bool> m_closing{false};
    TdmPublic& m_dm;
    TBatchOperations& m_operations;
    TOperationType m_type;
    TOperationOptions m_options;
    QString m_caption;
    QList<TUser> m_users;
    QList<bool> m_rowStarted;
    TBatchObserver* m_observer = nullptr;
    TickSource m_ticks;
    std::function<void()> m_finishedHandler;
    std::shared_ptr<CancelSignal> m_cancel;
    std::unique_ptr<QThreadPool> m_pool;
    std::unique_ptr<QThreadPool> m_checkPool;
    QHash<QString, std::shared_ptr<Lane>> m_lanes;
    std::exception_ptr m_error;
    int m_parallelHosts = DefaultParallelHosts;
    int m_inFlight = 0;
    int m_checksInFlight = 0;
    int m_done = 0;
    int m_succeeded = 0;
    bool m_started = false;
    bool m_finished = false;
    bool m_verifyAfterChange = false;
    bool m_writeAheadIntent = true;
    bool m_intentColumns = false;
    bool m_shareConnections = true;
    bool m_draining = false;
    std::function<void()> m_quitWait;
};
