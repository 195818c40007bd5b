#include "tools/CliCommands.h"

#include "core/TOptionsFile.h"

#include "core/DatabaseCreator.h"
#include "core/ProgramVersion.h"
#include "tools/CliBatch.h"
#include "tools/CliCipher.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"
#include "tools/CliExport.h"
#include "tools/CliGenerate.h"
#include "tools/CliHelp.h"
#include "tools/CliHosts.h"
#include "tools/CliImport.h"
#include "tools/CliList.h"
#include "tools/CliOutput.h"
#include "tools/CliPaths.h"
#include "tools/CliRekey.h"
#include "tools/CliUsers.h"

namespace CliCommands {

namespace {

bool isHelpWord(const QString& word)
{
    return word == QLatin1String("--help") || word == QLatin1String("-h") || word == QLatin1String("help");
}

int initDatabase(const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("--help"))) {
        CliOutput::out(CliHelp::command(QStringLiteral("init-db")));
        return ExitOk;
    }
    if (arguments.size() != 1)
        throw CliError::usage(QStringLiteral("init-db needs exactly one PATH"));
    CreateDatabase(arguments[0]);
    CliOutput::out(QStringLiteral("Created %1\n").arg(arguments[0]));
    return ExitOk;
}

/// Reads a global option given as "NAME VALUE" or "NAME=VALUE" into value; false when option is
/// another one. what names the value in the error for a missing one.
bool takeGlobalOption(const QString& option, const QString& name, const QString& what, QStringList& arguments,
                      QString& value)
{
    const QString prefix = name + QLatin1Char('=');
    if (option.startsWith(prefix)) {
        value = option.mid(prefix.size());
    } else if (option == name) {
        if (arguments.isEmpty())
            throw CliError::usage(QStringLiteral("%1 needs a %2").arg(name, what));
        value = arguments.takeFirst();
    } else {
        return false;
    }
    if (value.isEmpty())
        throw CliError::usage(QStringLiteral("%1 needs a %2").arg(name, what));
    return true;
}

/// The commands that work on the database.
int runOnDatabase(CliContext& context, const QString& command, const QStringList& arguments)
{
    if (command == QLatin1String("list"))
        return CliList(context).run(arguments);
    if (command == QLatin1String("host"))
        return CliHosts(context).run(arguments);
    if (command == QLatin1String("user"))
        return CliUsers(context).run(arguments);
    if (command == QLatin1String("import"))
        return CliImport(context).run(arguments);
    if (command == QLatin1String("export"))
        return CliExport(context).run(arguments);
    if (command == QLatin1String("generate"))
        return CliGenerate(context).run(arguments);
    if (command == QLatin1String("test-login"))
        return CliBatch(context, otTestLogin).run(arguments);
    if (command == QLatin1String("change-password"))
        return CliBatch(context, otChangePassword).run(arguments);
    if (command == QLatin1String("send-mail"))
        return CliBatch(context, otSendMail).run(arguments);
    if (command == QLatin1String("verify"))
        return CliBatch(context, otVerifyPassword).run(arguments);
    if (command == QLatin1String("rekey"))
        return CliRekey(context).run(arguments);
    throw CliError::usage(QStringLiteral("unknown command '%1'").arg(command));
}

} // namespace

int run(const QStringList& allArguments)
{
    QStringList arguments = allArguments;
    QString databasePath;
    QString passwordFile;
    QString parallel;
    while (!arguments.isEmpty() &&
           (arguments[0].startsWith(QLatin1String("--db")) || arguments[0].startsWith(QLatin1String("--parallel")))) {
        const QString option = arguments.takeFirst();
        if (!takeGlobalOption(option, QStringLiteral("--db"), QStringLiteral("PATH"), arguments, databasePath) &&
            !takeGlobalOption(option, QStringLiteral("--db-password-file"), QStringLiteral("FILE"), arguments,
                              passwordFile) &&
            !takeGlobalOption(option, QStringLiteral("--parallel"), QStringLiteral("number of hosts"), arguments,
                              parallel))
            throw CliError::usage(QStringLiteral("unknown option %1").arg(option));
    }
    int parallelHosts = 0;
    if (!parallel.isEmpty()) {
        bool ok = false;
        parallelHosts = parallel.toInt(&ok);
        if (!ok || parallelHosts < TOptionsFile::MinParallelHosts || parallelHosts > TOptionsFile::MaxParallelHosts)
            throw CliError::usage(QStringLiteral("--parallel takes a number of hosts from %1 to %2")
                                      .arg(TOptionsFile::MinParallelHosts)
                                      .arg(TOptionsFile::MaxParallelHosts));
    }
    if (arguments.isEmpty())
        throw CliError::usage(QStringLiteral("no command given"));
    const QString command = arguments.takeFirst();
    if (isHelpWord(command)) {
        const QString page = CliHelp::command(arguments.join(QLatin1Char(' ')));
        CliOutput::out(page.isEmpty() ? CliHelp::overview() : page);
        return ExitOk;
    }
    if (command == QLatin1String("--version")) {
        CliOutput::out(QStringLiteral("veltrane-cli %1\n").arg(ProgramVersion()));
        return ExitOk;
    }
    if (command == QLatin1String("paths"))
        return CliPaths::run(databasePath, arguments);
    if (command == QLatin1String("init-db"))
        return initDatabase(arguments);
    if (command == QLatin1String("encipher") || command == QLatin1String("decipher"))
        return CliCipher::runLines(command == QLatin1String("encipher"), arguments);
    if (command == QLatin1String("decipher-log"))
        return CliCipher::runDecipherLog(arguments);

    CliContext context(databasePath, passwordFile);
    context.setParallelHosts(parallelHosts);
    const int code = runOnDatabase(context, command, arguments);
    if (code == ExitOk && context.ui().failed()) {
        // A statement failed that the command itself did not stop on.
        if (context.ui().hasUnshownFailure())
            CliOutput::error(CliUiServices::DatabaseFailureLine(context.ui().lastDatabaseError()));
        return ExitFailure;
    }
    return code;
}

} // namespace CliCommands
