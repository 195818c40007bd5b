#pragma once

#include <atomic>

/// A stop request that a thread blocked on a socket notices at once: raising it sets the flag and
/// makes its file descriptor readable, so a poll() that includes fd() wakes up. One signal may be
/// shared by every conversation of a run; it is never lowered again.
class CancelSignal
{
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    /// Safe from any thread, any number of times.
    void raise() noexcept;
    bool raised() const noexcept { return m_raised.load(std::memory_order_acquire); }
    /// Readable once raised; -1 when the system had no descriptor to give (the flag still works).
    int fd() const noexcept { return m_pipe[0]; }

private:
    std::atomic<bool> m_raised{false};
    int m_pipe[2] = {-1, -1};
};
