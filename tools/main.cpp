// veltrane-cli: the command-line companion of Veltrane, for set-up, scripting and recovery.
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "tools/CliCommands.h"
#include "tools/CliError.h"
#include "tools/CliOutput.h"

#include <QCoreApplication>

#include <exception>

int main(int argc, char* argv[])
{
    Platform::HardenProcess();
    QCoreApplication app(argc, argv);
    try {
        return CliCommands::run(app.arguments().mid(1));
    } catch (const CliError& error) {
        CliOutput::error(error.exitCode() == ExitUsage ? error.message() + QStringLiteral(" (see veltrane-cli --help)")
                                                       : error.message());
        return error.exitCode();
    } catch (const DatabaseError& error) {
        CliOutput::error(error.message());
        return ExitFailure;
    } catch (const std::exception& error) {
        // For instance a settings file that cannot be written; its message names the file.
        CliOutput::error(QString::fromLocal8Bit(error.what()));
        return ExitFailure;
    }
}
