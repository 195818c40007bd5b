#include "tools/CliSecrets.h"

#include "tools/CliError.h"

#include <cstdio>

#include <termios.h>
#include <unistd.h>

namespace {

/// Switches terminal echo off and back on, also when reading fails.
class EchoOff
{
public:
    explicit EchoOff(int fd) : m_fd(fd)
    {
        m_active = ::tcgetattr(fd, &m_saved) == 0;
        if (m_active) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            // TCSANOW, not TCSAFLUSH: a password typed ahead of the prompt is input, not noise.
            ::tcsetattr(fd, TCSANOW, &quiet);
        }
    }
    ~EchoOff()
    {
        if (m_active)
            ::tcsetattr(m_fd, TCSANOW, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

constexpr qsizetype MaxSecretLength = 4096;

} // namespace

CliSecrets::CliSecrets() : m_terminal(::isatty(STDIN_FILENO) == 1) {}

std::optional<SecretBuffer> CliSecrets::readLine(int fd)
{
    // Byte by byte and unbuffered: the bytes stay in one buffer that is wiped, and lines meant
    // for later secrets stay in the input.
    QByteArray line;
    line.reserve(MaxSecretLength);
    bool sawAnything = false;
    char c = 0;
    while (true) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got <= 0)
            break;
        sawAnything = true;
        if (c == '\n')
            break;
        if (line.size() < MaxSecretLength)
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

SecretBuffer CliSecrets::require(const QString& what)
{
    std::optional<SecretBuffer> secret = next(what);
    if (!secret)
        throw CliError::usage(
            QStringLiteral("expected the %1 on standard input (one password per line), but the input ended").arg(what));
    if (secret->isEmpty())
        throw CliError::usage(
            QStringLiteral("the %1 is empty: give a password on its line of standard input").arg(what));
    return std::move(*secret);
}

SecretBuffer CliSecrets::optional(const QString& what)
{
    std::optional<SecretBuffer> secret = next(what);
    return secret ? std::move(*secret) : SecretBuffer();
}
