#include "tools/CliRecordCommand.h"

#include "tools/CliError.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"

int CliRecordCommand::run(const QStringList& arguments)
{
    const QString action = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (action == QLatin1String("add"))
        return add(rest);
    if (action == QLatin1String("edit"))
        return edit(rest);
    if (action == QLatin1String("delete"))
        return remove(rest);
    if (action == QLatin1String("--help")) {
        CliOutput::out(CliHelp::command(m_noun));
        return ExitOk;
    }
    throw CliError::usage(action.isEmpty()
                              ? QStringLiteral("%1 needs add, edit or delete").arg(m_noun)
                              : QStringLiteral("unknown %1 action '%2': use add, edit or delete").arg(m_noun, action));
}
