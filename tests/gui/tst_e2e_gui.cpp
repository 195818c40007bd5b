// End to end through the real windows against the loopback SSH servers: a host and a user added
// through the editors, F3 and F5 on the user's row, the row refreshed from the runner and the
// password really changed on the host; and a batch stopped in its first user, after which every
// row of the batch is refreshed and unchecked.

#include "batch/TfrmOperation.h"
#include "engine/ChangePlan.h"
#include "engine/TRemoteEngine.h"
#include "tests/gui/MainWindowTestSupport.h"
#include "tests/support/TestServers.h"
#include "ui/THostNode.h"
#include "ui/THostTreeView.h"
#include "ui/TfrmHostEdit.h"
#include "ui/TfrmUserEdit.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

using namespace MainWindowTest;
using namespace TestServers;

namespace {

const QString Account = QStringLiteral("vtst_gui1");

// Drives the runner window: optionally presses Stop once the status line shows stopAt, waits for the
// end of the run, remembers the second column of every row, and closes the window.
struct RunnerDriver
{
    QString stopAt;
    QStringList results;
    bool seen = false;

    void operator()(QDialog& dialog)
    {
        auto* runner = qobject_cast<TfrmOperation*>(&dialog);
        if (!runner) {
            dialog.reject();
            return;
        }
        seen = true;
        // The batch runs inside the event processing below and pumps events itself: a timer watches it.
        QTimer watch;
        if (!stopAt.isEmpty()) {
            QObject::connect(&watch, &QTimer::timeout, runner, [this, runner, &watch] {
                if (runner->plStatus->text().contains(stopAt)) {
                    watch.stop();
                    runner->btnStop->click();
                }
            });
            watch.start(20);
        }
        QTRY_VERIFY_WITH_TIMEOUT(runner->btnClose->isEnabled(), 60000);
        for (int row = 0; row < runner->lvList->rowCount(); ++row)
            results << (runner->lvList->item(row, 1) ? runner->lvList->item(row, 1)->text() : QString());
        runner->btnClose->click();
    }
};

// Adds a host through the host editor opened by Ctrl+H.
void AddHost(TfrmMain& window, const QString& address)
{
    ModalDriver driver([&](QDialog& dialog) {
        auto& editor = dynamic_cast<TfrmHostEdit&>(dialog);
        editor.edtName->setText(address);
        editor.edtPort->setText(QString::number(Port));
        editor.cbbLoginAs->setCurrentIndex(editor.cbbLoginAs->findData(TfrmHostEdit::UsersAccountValue));
        editor.btnSave->click();
    });
    QTest::keyClick(window.tvHosts, Qt::Key_H, Qt::ControlModifier);
}

// Adds a user through the user editor opened by Alt+N.
void AddUser(TfrmMain& window, const QString& login, const QString& password)
{
    ModalDriver driver([&](QDialog& dialog) {
        auto& editor = dynamic_cast<TfrmUserEdit&>(dialog);
        editor.edtLogin->setText(login);
        editor.edtOldPwd->setText(password);
        editor.btnSave->click();
    });
    QTest::keyClick(window.lvUsers, Qt::Key_N, Qt::AltModifier);
}

TActionStaus Probe(TfrmMain& window, const TUser& user)
{
    TActionStaus status;
    TRunContext run;
    TRemoteEngine engine(run);
    engine.SSHLogin(LoginRequestOf(user, KnownHostsPathOf(window.dm())), status);
    return status;
}

} // namespace

class TestE2eGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(ServerProblem().isEmpty(), qPrintable(ServerProblem())); }
    void addGenerateAndChangeThroughTheWindows();
    void stoppedBatchRefreshesEveryRow();
};

void TestE2eGui::addGenerateAndChangeThroughTheWindows()
{
    QVERIFY(ResetPassword(Account, Password));
    GuiServices gui;
    Installation install({}, {});
    auto window = install.Open();
    window->dm().OptionsFile.SetAutoGenerate(false);
    window->dm().OptionsFile.SetPassNumber(true);
    window->dm().OptionsFile.SetPassSpechar(true);
    window->dm().OptionsFile.SetPassLength(14);
    QVERIFY(ShowActive(*window));

    AddHost(*window, OpenSshAddress);
    QCOMPARE(window->tvHosts->SelectedNode()->text(0), OpenSshAddress + QStringLiteral(":2222"));
    window->lvUsers->setFocus();
    AddUser(*window, Account, Password);
    QCOMPARE(Logins(*window), QStringList({Account}));
    const TUserListModel& rows = window->lvUsers->Model();
    QCOMPARE(rows.UserAt(0)->HostIP, OpenSshAddress);
    QCOMPARE(Probe(*window, *rows.UserAt(0)).Code, acLoginSucceeded);

    window->lvUsers->SelectRow(0);
    QTest::keyClick(window->lvUsers, Qt::Key_F3);
    QCOMPARE(rows.Text(0, 1), QStringLiteral("********"));
    const TUser before = *rows.UserAt(0);
    QVERIFY(!before.pwNew.isEmpty());

    RunnerDriver runner;
    {
        ModalDriver driver([&runner](QDialog& dialog) { runner(dialog); });
        QTest::keyClick(window->lvUsers, Qt::Key_F5);
    }
    QVERIFY(runner.seen);
    QCOMPARE(runner.results.size(), 1);
    QVERIFY2(runner.results[0].contains(QStringLiteral("Changed Successed. ")), qPrintable(runner.results[0]));

    // The row shows the new state at once, without reloading the list.
    const TUser after = *rows.UserAt(0);
    QVERIFY(rows.Text(0, 1).isEmpty());
    QVERIFY(!rows.Text(0, 6).isEmpty());
    QCOMPARE(after.pwNow, before.pwNew);
    QVERIFY(!rows.IsChecked(0));
    QVERIFY(window->moLog->toPlainText().contains(QStringLiteral("Changed Successed. ")));

    // And the host really has the new password.
    QCOMPARE(Probe(*window, after).Code, acLoginSucceeded);
    QCOMPARE(Probe(*window, before).Code, acLoginFailed);
    QVERIFY(ResetPassword(Account, Password));
}

void TestE2eGui::stoppedBatchRefreshesEveryRow()
{
    GuiServices gui;
    QList<SeedUser> users;
    // Plain QStrings: a list of string-builder temporaries would refer to strings already gone.
    const QStringList logins{QString(DialogSlow + QStringLiteral("2")), QString(DialogDebian + QStringLiteral("3")),
                             QString(DialogDebian + QStringLiteral("3"))};
    for (const QString& login : logins) {
        users << SeedUser(0, login);
        users.last().password = Password;
    }
    Installation install({{DialogAddress, Port, QString()}}, users);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    window->actSelectAll->trigger();
    GuiUiServices::setNextAnswer(ButtonYes); // no new passwords yet: generate them first
    window->actNewPass->trigger();
    window->actSelectAll->trigger();
    const TUserListModel& rows = window->lvUsers->Model();
    QList<TUser> before;
    for (int row = 0; row < 3; ++row)
        before << *rows.UserAt(row);

    RunnerDriver runner;
    runner.stopAt = QStringLiteral("Changing password"); // logged in; the slow dialog takes seconds now
    {
        ModalDriver driver([&runner](QDialog& dialog) { runner(dialog); });
        GuiUiServices::setNextAnswer(ButtonYes);
        window->actChangePwd->trigger();
    }
    QCOMPARE(GuiServices::Messages().last(), QStringLiteral("Are you sure to change password? "));
    QCOMPARE(runner.results.size(), 3);
    QVERIFY2(runner.results[0].contains(QStringLiteral("Cancelled by user. ")), qPrintable(runner.results[0]));
    QCOMPARE(runner.results[1], QString());

    // Every row of the batch is refreshed and unchecked, the two that never ran included.
    for (int row = 0; row < 3; ++row)
        QVERIFY(!rows.IsChecked(row));
    QVERIFY(rows.UserAt(0)->LastLog.contains(QStringLiteral("Cancelled by user. ")));
    QCOMPARE(rows.UserAt(0)->pwNow, before[0].pwNow);
    for (int row = 1; row < 3; ++row) {
        QCOMPARE(rows.UserAt(row)->LastLog, QString());
        QCOMPARE(rows.UserAt(row)->pwNew, before[row].pwNew);
        QCOMPARE(rows.Text(row, 1), QStringLiteral("********"));
    }
}

QTEST_MAIN(TestE2eGui)
#include "tst_e2e_gui.moc"
