// veltrane-cli on 10,000 users: "import users" of a CSV file into a fresh database, and
// "list --json" of them, each as a whole process run the way a script runs it. Prints the median
// wall and CPU time of several runs and, as the fixed cost they contain, a "list" of an empty
// database (goal: each under one second). CPU time shows the cost when other work shares the machine.
#include "core/DatabaseCreator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int Users = 10000;
constexpr int Rounds = 5;

struct Timing
{
    double wallMs = -1;
    double cpuMs = -1;
};

double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

/// Wall and CPU time (user and system) of one run in milliseconds; wallMs -1 when it failed.
Timing timedRun(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    const double cpuBefore = childrenCpuMs();
    QProcess process;
    process.setStandardOutputFile(output ? QString() : QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(arguments.join(QLatin1Char(' '))),
                     process.readAllStandardError().constData());
        return {};
    }
    const Timing timing{timer.nsecsElapsed() / 1e6, childrenCpuMs() - cpuBefore};
    if (output)
        *output = process.readAllStandardOutput();
    return timing;
}

double median(std::vector<Timing> values, double Timing::*field)
{
    std::sort(values.begin(), values.end(), [field](const Timing& a, const Timing& b) { return a.*field < b.*field; });
    return values[values.size() / 2].*field;
}

void print(const char* what, const std::vector<Timing>& runs, const char* goal)
{
    std::printf("%-48s wall %7.1f ms, CPU %7.1f ms (medians of %zu)%s\n", what, median(runs, &Timing::wallMs),
                median(runs, &Timing::cpuMs), runs.size(), goal);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString program = QStringLiteral(VELTRANE_CLI_PATH);
    QTemporaryDir dir;
    const QString hosts = dir.filePath(QStringLiteral("hosts.csv"));
    const QString users = dir.filePath(QStringLiteral("users.csv"));
    {
        QFile file(hosts);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("address,port,os,manager_login,manager_password,login_as,note\r\n");
        for (int h = 0; h < 100; ++h)
            file.write(QStringLiteral("10.0.0.%1,22,Linux,,,user,rack %1\r\n").arg(h).toUtf8());
    }
    {
        QFile file(users);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("address,port,login,password,new_password,period,full_name,email,remark\r\n");
        for (int u = 0; u < Users; ++u)
            file.write(QStringLiteral("10.0.0.%1,22,user%2,Current#%2,Next#%2,90,\"Owner, number %2\","
                                      "owner%2@example.org,imported\r\n")
                           .arg(u % 100)
                           .arg(u)
                           .toUtf8());
    }

    std::vector<Timing> empty, imports, lists;
    qsizetype jsonBytes = 0;
    for (int round = 0; round < Rounds; ++round) {
        const QString db = dir.filePath(QStringLiteral("round%1.db").arg(round));
        CreateDatabase(db);
        empty.push_back(timedRun(program, {"--db", db, "list"}));
        if (timedRun(program, {"--db", db, "import", "hosts", hosts}).wallMs < 0)
            return 1;
        imports.push_back(timedRun(program, {"--db", db, "import", "users", users}));
        QByteArray json;
        lists.push_back(timedRun(program, {"--db", db, "list", "--json"}, &json));
        jsonBytes = json.size();
        if (empty.back().wallMs < 0 || imports.back().wallMs < 0 || lists.back().wallMs < 0)
            return 1;
    }
    std::printf("users: %d on 100 hosts; JSON output %lld bytes\n", Users, static_cast<long long>(jsonBytes));
    print("list of an empty database (start-up and open):", empty, "");
    print("import users (10,000 rows, one transaction):", imports, ", goal < 1000");
    print("list --json (10,000 users):", lists, ", goal < 1000");
    return 0;
}
