#pragma once

#include "engine/ConversationRequest.h"
#include "engine/TActionStaus.h"
#include "engine/TRunContext.h"

#include <QObject>

#include <functional>
#include <memory>
#include <thread>

/// One login probe on a thread of its own, for a window that must stay responsive while the host
/// answers. The receiver owns the probe, so the thread ends before the receiver does; the outcome
/// arrives on the receiver's thread, and none arrives once the receiver is gone.
class TLoginProbe
{
public:
    using Done = std::function<void(const TActionStaus& status)>;

    TLoginProbe() = default;
    /// Cancels a probe still running and waits for its thread (it stops at its next wait).
    ~TLoginProbe();
    TLoginProbe(const TLoginProbe&) = delete;
    TLoginProbe& operator=(const TLoginProbe&) = delete;

    /// Starts probing request; false (and nothing started) while an earlier probe still runs.
    /// progress (may be empty) receives the progress texts on the receiver's thread too.
    bool Start(TLoginRequest request, QObject* receiver, Done done, ProgressCallback progress = {});
    /// Until its outcome has been delivered.
    bool Running() const { return m_running && !m_running->load(); }
    /// Makes a running probe stop at its next wait; its outcome still arrives.
    void Cancel();

private:
    void join();

    std::thread m_thread;
    std::shared_ptr<TRunContext> m_run;
    /// Set by the thread when it is done.
    std::shared_ptr<std::atomic<bool>> m_running;
};
