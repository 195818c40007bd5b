#include "tools/CliOutput.h"

#include "core/VisibleText.h"

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
    // Messages quote names and host output: a line break may stay, an escape sequence may not.
    std::fprintf(stderr, "veltrane-cli: %s\n", VisibleControlCharacters(message).toUtf8().constData());
    std::fflush(stderr);
}

QString data(const QString& text)
{
    return VisibleControlCharacters(text, TLineBreaks::Visible);
}

bool stdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace CliOutput
