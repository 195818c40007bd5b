// veltrane-cli: the command-line companion of Veltrane, for set-up, scripting and recovery.
#include "core/DatabaseError.h"
#include "core/Platform.h"
#include "tools/CliCommands.h"
#include "tools/CliError.h"
#include "tools/CliOutput.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <cstdio>

#include <exception>

namespace {

/// The first argument that is not valid UTF-8 (Qt would silently replace its bytes), or 0.
int firstUndecodableArgument(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString ignored = decoder.decode(QByteArrayView(argv[i]));
        if (decoder.hasError())
            return i;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    Platform::HardenProcess();
    if (const int bad = firstUndecodableArgument(argc, argv)) {
        std::fprintf(stderr,
                     "veltrane-cli: argument %d is not valid UTF-8 text; write it in UTF-8 (see veltrane-cli "
                     "--help)\n",
                     bad);
        return ExitUsage;
    }
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
