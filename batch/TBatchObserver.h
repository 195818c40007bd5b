#pragma once

#include <QString>

/// Where a user of the batch stands; the values are the indexes of the state pictures.
enum class TRowState : int
{
    None = -1,     ///< not run (yet)
    Failed = 0,    ///< grey cross
    Succeeded = 1, ///< green tick
    Running = 2,   ///< red arrow
};

/// What a batch shows while it runs. The runner window and the command-line companion each
/// implement it; every call happens on the main thread. Several rows may be running at once.
class TBatchObserver
{
public:
    virtual ~TBatchObserver();

    /// The batch begins with total users; no user is done yet.
    virtual void BatchStarted(int total) = 0;
    /// The user of row starts running.
    virtual void RowStarted(int row) = 0;
    /// The user of row is done: its state and the "[elapsed]  result" text; done users so far.
    virtual void RowFinished(int row, TRowState state, const QString& text, int done) = 0;
    /// The latest progress text of a running row.
    virtual void RowProgress(int row, const QString& message);
    /// The title line (caption and counters) and the status line (a blank and the latest message).
    virtual void ProgressShown(const QString& title, const QString& status) = 0;
    /// The batch is over (also after a stop or an error): the final title line with the totals.
    virtual void BatchFinished(const QString& title) = 0;
};
