#include "transport/CancelSignal.h"

#include <fcntl.h>
#include <unistd.h>

CancelSignal::CancelSignal()
{
    if (::pipe(m_pipe) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    for (const int fd : m_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
}

CancelSignal::~CancelSignal()
{
    for (const int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}

void CancelSignal::raise() noexcept
{
    if (m_raised.exchange(true, std::memory_order_acq_rel))
        return;
    if (m_pipe[1] >= 0) {
        const char byte = 1;
        // The byte stays unread: every later poll() sees the signal too.
        [[maybe_unused]] const ssize_t written = ::write(m_pipe[1], &byte, 1);
    }
}
