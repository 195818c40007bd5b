#include "tools/CliPaths.h"

#include "core/Platform.h"
#include "core/ProgramFiles.h"
#include "tools/CliError.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"

#include <QDir>

namespace CliPaths {

int run(const QString& databaseOverride, const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("--help"))) {
        CliOutput::out(CliHelp::command(QStringLiteral("paths")));
        return ExitOk;
    }
    if (!arguments.isEmpty())
        throw CliError::usage(QStringLiteral("unexpected argument '%1'").arg(arguments.first()));
    // Only looks: a first start of an installed copy creates its files on the first real command.
    const ProgramFiles::Locations where = ProgramFiles::Find(Platform::ExecutableDir(), databaseOverride);
    const QList<std::pair<const char*, QString>> lines = {
        {"Data folder", where.dataDir},    {"Options.ini", where.options}, {"Database", where.database},
        {"known_hosts", where.knownHosts}, {"Logs", where.logs},           {"Batch lock", where.batchLock},
        {"Manual", where.manual},
    };
    QString text;
    for (const auto& [name, path] : lines)
        text += QString(QLatin1String(name) + QLatin1Char(':')).leftJustified(14) +
                CliOutput::data(QDir::toNativeSeparators(path)) + QLatin1Char('\n');
    CliOutput::out(text);
    return ExitOk;
}

} // namespace CliPaths
