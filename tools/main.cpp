// veltrane-cli: the command-line companion of Veltrane, for set-up, scripting and recovery.
#include "core/DatabaseCreator.h"
#include "core/DatabaseError.h"
#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/Platform.h"
#include "core/TdmPublic.h"
#include "core/UserListColumns.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

const char* const kUsage = R"(Usage:
  veltrane-cli init-db PATH             create a new encrypted database at PATH
  veltrane-cli encipher | decipher      one text per line on standard input, one result per line
  veltrane-cli [--db PATH] list         hosts, users (passwords masked) and OS profiles

--db PATH defaults to the DataPath of the Options.ini beside the veltrane program.

Examples:
  veltrane-cli init-db /srv/veltrane/veltrane.db
  echo 'Secret1!' | veltrane-cli encipher
  veltrane-cli --db /srv/veltrane/veltrane.db list
)";

void printError(const QString& message)
{
    std::fprintf(stderr, "veltrane-cli: %s\n", message.toUtf8().constData());
}

void printOut(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

int usageError(const QString& message)
{
    printError(message + QStringLiteral(" (see veltrane-cli --help)"));
    return ExitUsage;
}

int cipherLines(bool encipher)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const QString text = QString::fromStdString(line);
        printOut((encipher ? EncipherPassword(text) : DecipherPassword(text)) + QLatin1Char('\n'));
    }
    return ExitOk;
}

int listDatabase(TdmPublic& dm)
{
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select * from Hosts order by hID");
    if (!dm.OpenQuery(*query))
        return ExitFailure;
    printOut(QStringLiteral("Hosts:\n"));
    for (; !query->Eof(); query->Next()) {
        THost host;
        HostFromQuery(*query, host);
        printOut(QStringLiteral("  %1  %2:%3  os=%4  manager=%5  login-as=%6  %7\n")
                     .arg(host.hID)
                     .arg(host.hAddress)
                     .arg(host.hPort)
                     .arg(host.OSID)
                     .arg(host.MngLogin.isEmpty() ? QStringLiteral("-") : host.MngLogin)
                     .arg(host.UseManager == -1 ? QStringLiteral("manager") : QStringLiteral("user"))
                     .arg(host.hNote));
    }
    query->Close();
    query->SelectSQL = QStringLiteral("select u.*, h.hAddress as HostIP, h.hPort as HostPort from Users u "
                                      "left join Hosts h on h.hID = u.hID order by u.hID, u.uID");
    if (!dm.OpenQuery(*query))
        return ExitFailure;
    printOut(QStringLiteral("Users:\n"));
    const QDateTime now = DayNumber::CurrentDateTime();
    for (; !query->Eof(); query->Next()) {
        TUser user;
        user.uID = query->FieldByName(QStringLiteral("uID")).AsInteger();
        user.LoginName = query->FieldByName(QStringLiteral("LoginName")).AsString();
        user.pwNew = query->FieldByName(QStringLiteral("pwNew")).AsString();
        user.pwPeriod = query->FieldByName(QStringLiteral("pwPeriod")).AsInteger();
        user.pwLastTime = query->FieldByName(QStringLiteral("pwLastTime")).AsFloat();
        user.uName = query->FieldByName(QStringLiteral("uName")).AsString();
        user.Email = query->FieldByName(QStringLiteral("Email")).AsString();
        const QStringList texts = UserListTexts(user, now);
        printOut(QStringLiteral("  %1  %2:%3  %4  password=%5  new=%6  period=%7  passed=%8  name=%9  email=%10\n")
                     .arg(user.uID)
                     .arg(query->FieldByName(QStringLiteral("HostIP")).AsString())
                     .arg(query->FieldByName(QStringLiteral("HostPort")).AsInteger())
                     .arg(user.LoginName, MaskPassword(query->FieldByName(QStringLiteral("pwNow")).AsString()),
                          texts[1].isEmpty() ? QStringLiteral("-") : texts[1],
                          texts[2].isEmpty() ? QStringLiteral("-") : texts[2],
                          texts[3].isEmpty() ? QStringLiteral("-") : texts[3], user.uName, user.Email));
    }
    query->Close();
    query->SelectSQL = QStringLiteral("select OSID, OSName from UnixOS order by OSID");
    if (!dm.OpenQuery(*query))
        return ExitFailure;
    printOut(QStringLiteral("OS profiles:\n"));
    for (; !query->Eof(); query->Next())
        printOut(QStringLiteral("  %1  %2\n").arg(query->Fields(0).AsInteger()).arg(query->Fields(1).AsString()));
    return ExitOk;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString dbPath;
    if (args.size() >= 2 && args[0] == QLatin1String("--db")) {
        dbPath = args[1];
        args = args.mid(2);
    }
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        printOut(QString::fromUtf8(kUsage));
        return ExitOk;
    }
    try {
        if (command == QLatin1String("init-db")) {
            if (args.size() != 1)
                return usageError(QStringLiteral("init-db needs exactly one PATH"));
            CreateDatabase(args[0]);
            printOut(QStringLiteral("Created %1\n").arg(args[0]));
            return ExitOk;
        }
        if (command == QLatin1String("encipher") || command == QLatin1String("decipher"))
            return cipherLines(command == QLatin1String("encipher"));
        if (command == QLatin1String("list")) {
            // The data module reads DataPath from Options.ini beside the GUI program, which sits beside us.
            const QString exe = Platform::ExecutableDir() + QStringLiteral("/veltrane");
            const QString path = dbPath.isEmpty() ? TOptionsFile(exe).DatabasePath() : dbPath;
            if (!QFileInfo::exists(path)) {
                printError(QStringLiteral("no database at %1: create one with 'veltrane-cli init-db PATH'").arg(path));
                return ExitFailure;
            }
            TdmPublic dm(exe, path);
            if (!dm.DBSession.Connected()) {
                printError(QStringLiteral("cannot open the database %1: check the path, or create one with "
                                          "'veltrane-cli init-db PATH'")
                               .arg(path));
                return ExitFailure;
            }
            return listDatabase(dm);
        }
    } catch (const DatabaseError& error) {
        printError(error.message());
        return ExitFailure;
    }
    return usageError(QStringLiteral("unknown command '%1'").arg(command));
}
