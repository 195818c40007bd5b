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
    if (otherActions().contains(action))
        return other(action, rest);
    if (action == QLatin1String("--help")) {
        CliOutput::out(CliHelp::command(m_noun));
        return ExitOk;
    }
    QStringList actions =
        QStringList{QStringLiteral("add"), QStringLiteral("edit"), QStringLiteral("delete")} + otherActions();
    const QString last = actions.takeLast();
    const QString choices = actions.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
    throw CliError::usage(action.isEmpty()
                              ? QStringLiteral("%1 needs %2").arg(m_noun, choices)
                              : QStringLiteral("unknown %1 action '%2': use %3").arg(m_noun, action, choices));
}

int CliRecordCommand::other(const QString& action, const QStringList& /*arguments*/)
{
    throw CliError::usage(QStringLiteral("unknown %1 action '%2'").arg(m_noun, action));
}
