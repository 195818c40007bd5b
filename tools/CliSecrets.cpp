#include "tools/CliSecrets.h"

#include "core/PasswordRules.h"
#include "tools/CliError.h"

#include <csignal>
#include <cstdio>
#include <iterator>

#include <termios.h>
#include <unistd.h>

namespace {

// What a signal handler needs to give the terminal its echo back (plain data: handlers may only
// make async-signal-safe calls).
int g_echoFd = -1;
termios g_echoSaved{};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

extern "C" void restoreEchoAndRaise(int signal)
{
    if (g_echoFd >= 0)
        ::tcsetattr(g_echoFd, TCSANOW, &g_echoSaved);
    // The signal's own action follows: the process ends (or stops) with a working terminal.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

/// Switches terminal echo off and back on, also when reading fails or a signal ends the process
/// (Ctrl+C, Ctrl+\, a kill, the terminal closing).
class EchoOff
{
public:
    explicit EchoOff(int fd) : m_fd(fd)
    {
        m_active = ::tcgetattr(fd, &m_saved) == 0;
        if (!m_active)
            return;
        g_echoSaved = m_saved;
        g_echoFd = fd;
        struct sigaction action
        {
        };
        action.sa_handler = restoreEchoAndRaise;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &action, &m_previous[i]);
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        // TCSANOW, not TCSAFLUSH: a password typed ahead of the prompt is input, not noise.
        ::tcsetattr(fd, TCSANOW, &quiet);
    }
    ~EchoOff()
    {
        if (!m_active)
            return;
        ::tcsetattr(m_fd, TCSANOW, &m_saved);
        g_echoFd = -1;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &m_previous[i], nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int m_fd;
    termios m_saved{};
    struct sigaction m_previous[std::size(kEndingSignals)]{};
    bool m_active = false;
};

} // namespace

CliSecrets::CliSecrets() : m_terminal(::isatty(STDIN_FILENO) == 1) {}

std::optional<SecretBuffer> CliSecrets::readLine(int fd)
{
    // Byte by byte and unbuffered: the bytes stay in one buffer that is wiped, and lines meant
    // for later secrets stay in the input.
    QByteArray line;
    line.reserve(MaxPasswordBytes + 1);
    bool sawAnything = false;
    char c = 0;
    while (true) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got <= 0)
            break;
        sawAnything = true;
        if (c == '\n')
            break;
        // One byte past the limit is kept, so the check below refuses the line instead of cutting it.
        if (line.size() <= MaxPasswordBytes)
            line.append(c);
    }
    if (line.endsWith('\r'))
        line.chop(1);
    SecretBuffer secret(std::move(line));
    if (!sawAnything)
        return std::nullopt;
    return secret;
}

std::optional<SecretBuffer> CliSecrets::next(const QString& what)
{
    if (!m_terminal)
        return readLine(STDIN_FILENO);
    // Echo goes off before the prompt shows, so an answer typed at once is never echoed.
    EchoOff echoOff(STDIN_FILENO);
    const QString prompt = what.left(1).toUpper() + what.mid(1);
    std::fprintf(stderr, "%s: ", prompt.toUtf8().constData());
    std::fflush(stderr);
    return readLine(STDIN_FILENO);
}

namespace {

/// Refuses a line that no host could take, naming which secret it was.
void checkSecret(const QString& what, const SecretBuffer& secret)
{
    const QString problem = PasswordBytesProblem(secret.bytes());
    if (!problem.isEmpty())
        throw CliError::usage(QStringLiteral("the %1 on standard input is refused: %2").arg(what, problem.trimmed()));
}

} // namespace

SecretBuffer CliSecrets::require(const QString& what)
{
    std::optional<SecretBuffer> secret = next(what);
    if (!secret)
        throw CliError::usage(
            QStringLiteral("expected the %1 on standard input (one password per line), but the input ended").arg(what));
    if (secret->isEmpty())
        throw CliError::usage(
            QStringLiteral("the %1 is empty: give a password on its line of standard input").arg(what));
    checkSecret(what, *secret);
    return std::move(*secret);
}

SecretBuffer CliSecrets::optional(const QString& what)
{
    std::optional<SecretBuffer> secret = next(what);
    if (!secret)
        return SecretBuffer();
    checkSecret(what, *secret);
    return std::move(*secret);
}
