#include "tools/CliOutput.h"

#include <cstdio>

#include <unistd.h>

namespace CliOutput {

void out(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void error(const QString& message)
{
    // Results may be piped into another program; keep them apart from the diagnostics.
    std::fflush(stdout);
    std::fprintf(stderr, "veltrane-cli: %s\n", message.toUtf8().constData());
    std::fflush(stderr);
}

bool stdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace CliOutput
