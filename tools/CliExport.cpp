#include "tools/CliExport.h"

#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliCsv.h"
#include "tools/CliCsvColumns.h"
#include "tools/CliError.h"
#include "tools/CliFieldRules.h"
#include "tools/CliHelp.h"
#include "tools/CliOutput.h"
#include "tools/CliStore.h"

#include <QSaveFile>

#include <cstdio>

namespace {

QString periodText(int period)
{
    return period < 0 ? QString() : QString::number(period);
}

} // namespace

int CliExport::run(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("export")));
        return ExitOk;
    }
    args.requirePositional(2, QStringLiteral("what to export (hosts or users) and the FILE.csv"));
    const QString kind = args.positional()[0];
    const bool hosts = kind == QLatin1String("hosts");
    if (!hosts && kind != QLatin1String("users"))
        throw CliError::usage(QStringLiteral("export takes 'hosts' or 'users', not '%1'").arg(kind));
    const QString path = args.positional()[1];

    const CliStore store(m_context);
    QByteArray data;
    qsizetype count = 0;
    if (hosts) {
        data = CliCsv::formatRecord(CliCsvColumns::Hosts);
        const QMap<int, QString> profiles = store.osProfiles();
        const QList<THost> list = store.hosts();
        count = list.size();
        for (const THost& host : list)
            data += CliCsv::formatRecord({host.hAddress, QString::number(host.hPort),
                                          host.OSID == -1 ? QString() : CliStore::osName(profiles, host.OSID),
                                          host.MngLogin, QString(), CliFieldRules::loginAsText(host.UseManager),
                                          host.hNote, ElevationName(host.MngElevation), QString(), host.MngKeyPath,
                                          QString(), CliFieldRules::switchText(host.MngUseAgent),
                                          CliFieldRules::switchText(host.hLegacyAlgorithms)});
    } else {
        data = CliCsv::formatRecord(CliCsvColumns::Users);
        const QList<TUser> list = store.users();
        count = list.size();
        for (const TUser& user : list)
            data += CliCsv::formatRecord({user.HostIP, QString::number(user.HostPort), user.LoginName, QString(),
                                          QString(), periodText(user.pwPeriod), user.uName, user.Email, user.uRemark});
    }

    if (path == QLatin1String("-")) {
        std::fwrite(data.constData(), 1, static_cast<size_t>(data.size()), stdout);
        return ExitOk;
    }
    // Written aside and renamed, so a failed export never leaves half a file behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw CliError::failure(QStringLiteral("cannot write %1 (%2): check that the folder exists and is writable")
                                    .arg(path, file.errorString()));
    CliOutput::out(
        QStringLiteral("Exported %1 %2 to %3.\n")
            .arg(QString::number(count), hosts ? QStringLiteral("host(s)") : QStringLiteral("user(s)"), path));
    return ExitOk;
}
