// The main window on 10,000 users of 100 hosts: LoadUsers into the list (goal: under 300 ms) and
// start-up to the shown, painted window (goal: under 1 s), each the median of several runs. The
// reference is reading the same rows into records without any list, so the ratio is the list's cost.
#include "core/DatabaseCreator.h"
#include "core/PasswordCipher.h"
#include "core/Records.h"
#include "core/TdmPublic.h"
#include "ui/GuiUiServices.h"
#include "ui/TUserListModel.h"
#include "ui/TUserListView.h"
#include "ui/TfrmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Users = 10000;
constexpr int Runs = 5;

void Fill(const QString& executablePath)
{
    TdmPublic dm(executablePath);
    dm.DBSession.StartTransaction();
    for (int h = 1; h <= 100; ++h) {
        THost host;
        host.hID = h;
        host.hAddress = QStringLiteral("10.0.%1.%2").arg(h / 250).arg(h % 250);
        host.hPort = 22;
        host.UseManager = 1;
        dm.SaveHost(host, TSaveMode::Insert);
    }
    for (int u = 1; u <= Users; ++u) {
        TUser user;
        user.uID = u;
        user.hID = (u - 1) / 100 + 1;
        user.LoginName = QStringLiteral("user%1").arg(u);
        user.pwNow = EncipherPassword(QStringLiteral("Current#%1").arg(u));
        user.pwNew = (u % 3) ? EncipherPassword(QStringLiteral("Next#%1").arg(u)) : QString();
        user.pwPeriod = 90;
        user.RecTime = 46000.25;
        user.pwLastTime = 46000.5 + u % 120;
        user.uName = QStringLiteral("Owner number %1").arg(u);
        user.Email = QStringLiteral("owner%1@example.org").arg(u);
        user.LastLog = QString(400, QLatin1Char('x'));
        dm.SaveUser(user, TSaveMode::Insert);
    }
    dm.DBSession.Commit();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double ReadRecordsOnly(TdmPublic& dm)
{
    QElapsedTimer timer;
    timer.start();
    std::vector<TUser> users;
    auto query = dm.NewQuery();
    query->SelectSQL = UserListStatement();
    dm.OpenQuery(*query);
    const TUserReader reader(*query);
    for (; !query->Eof(); query->Next()) {
        TUser user;
        reader.Read(user);
        users.push_back(std::move(user));
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    GuiUiServices services;
    InstallUiServices(&services);
    QTemporaryDir dir;
    const QString executable = dir.filePath(QStringLiteral("veltrane"));
    CreateDatabase(dir.filePath(QStringLiteral("veltrane.db")));
    Fill(executable);

    std::vector<double> startup;
    std::vector<double> load;
    std::vector<double> loadPainted;
    std::vector<double> reference;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        auto window = std::make_unique<TfrmMain>(executable);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return 1;
        window->repaint();
        startup.push_back(timer.nsecsElapsed() / 1e6);
        if (window->lvUsers->Model().rowCount() != Users)
            return 1;

        timer.restart();
        window->LoadUsers(nullptr);
        load.push_back(timer.nsecsElapsed() / 1e6);
        window->repaint();
        loadPainted.push_back(timer.nsecsElapsed() / 1e6);
        reference.push_back(ReadRecordsOnly(window->dm()));
    }
    InstallUiServices(nullptr);

    const double loadMs = Median(load);
    const double referenceMs = Median(reference);
    std::printf("users: %d\n", Users);
    std::printf("start-up to shown window: %.1f ms (goal < 1000)\n", Median(startup));
    std::printf("LoadUsers: %.1f ms (goal < 300); with the repaint: %.1f ms\n", loadMs, Median(loadPainted));
    std::printf("reading the records alone: %.1f ms; LoadUsers / reading: %.2f\n", referenceMs, loadMs / referenceMs);
    return 0;
}
