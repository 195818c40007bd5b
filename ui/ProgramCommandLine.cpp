#include "ui/ProgramCommandLine.h"

#include "core/ProgramVersion.h"

#include <cstdio>
#include <cstring>

namespace ProgramCommandLine {

QString HelpText()
{
    return QStringLiteral(R"(Usage: veltrane [--help | --version]

Veltrane changes the passwords of user accounts on many Unix and Linux hosts in one batch. It
keeps the hosts and their accounts in one encrypted database, tests logins over SSH, runs passwd
on each host and answers its prompts, generates passwords by rules, keeps a history of every
operation and protects itself with an optional start-up password.

Options:
  --help      print this text and end
  --version   print the version and end
The options of Qt (for example -platform offscreen) are accepted as well.

Files:
  veltrane.db   the database; DataPath in Options.ini names another one
  Options.ini   settings, read and written key by key; safe to edit by hand
  known_hosts   SSH host keys, recorded on the first connection to each host and port
  Logs/         log files written when an outcome could not be saved in the database
An installed copy (in a bin folder beside share/veltrane) keeps these files in
$XDG_DATA_HOME/veltrane, ~/.local/share/veltrane by default, and creates that folder (readable by
its owner only) with a new database on its first start. A portable copy and the build tree
keep them beside the program. 'veltrane-cli paths' prints where each file is.

Only one copy of the program runs per user; starting another one does nothing.
Press F1 in any window for the user manual; it is in share/veltrane/manual of an installed copy.
)");
}

std::optional<int> Answer(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(HelpText().toUtf8().constData(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("veltrane %s\n", ProgramVersion().toUtf8().constData());
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace ProgramCommandLine
