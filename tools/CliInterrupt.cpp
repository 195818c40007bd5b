#include "tools/CliInterrupt.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_requested = 0;

extern "C" void onInterrupt(int)
{
    g_requested = 1;
    // Only async-signal-safe calls here; the next Ctrl+C takes the default action.
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

namespace CliInterrupt {

void install()
{
    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

bool requested()
{
    return g_requested != 0;
}

} // namespace CliInterrupt
