#pragma once

#include "core/ProgressCallback.h"
#include "transport/CancelSignal.h"

#include <QStringList>

#include <memory>
#include <mutex>

class TRemoteShell;

/// The state of one conversation with a host: its transcript, the stop request it obeys and where
/// its progress texts go. The run that starts a conversation owns its context; nothing global
/// reaches into it, so conversations on different threads never share one.
class TRunContext
{
public:
    /// cancel may be shared by every conversation of a run, so one Stop reaches them all.
    explicit TRunContext(std::shared_ptr<CancelSignal> cancel = std::make_shared<CancelSignal>());

    QStringList Transcript;
    void ClearTranscript() { Transcript.clear(); }
    void AddTranscriptLine(const QString& line) { Transcript.append(line); }
    /// Every entry followed by CR LF.
    QString GetTranscriptText() const;

    /// Called on the conversation's own thread; the run forwards it to whoever shows progress.
    ProgressCallback Progress;
    void ReportProgress(const QString& text) const;

    /// The host's connection that a manager-mode change may run on (owned by the run; may be null).
    TRemoteShell* HostConnection = nullptr;
    /// Held while HostConnection is in use, where other runs share it (may be null).
    std::mutex* HostConnectionTurn = nullptr;

    const std::shared_ptr<CancelSignal>& Cancel() const { return m_cancel; }
    bool CancelRequested() const { return m_cancel->raised(); }
    void RequestCancel() const { m_cancel->raise(); }

private:
    std::shared_ptr<CancelSignal> m_cancel;
};
