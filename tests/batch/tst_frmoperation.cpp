// The runner window over the real loopback SSH servers: its prepared state, a whole run as the user
// sees it, Stop / Esc / Close in each state, the Log button and the row double-click after a stopped
// run, an error that escapes the batch, the close box and segmented bar while it runs, and a long
// result shown in full.
#include "batch/History.h"
#include "batch/TfrmOperation.h"
#include "tests/batch/BatchFixture.h"
#include "tests/batch/ScriptedOperations.h"

#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>

using namespace TestServers;

namespace {

TRowState rowState(const TfrmOperation& window, int row)
{
    return static_cast<TRowState>(window.lvList->item(row, 0)->data(Qt::UserRole + 1).toInt());
}

/// Every text the window shows.
QString windowTexts(const TfrmOperation& window)
{
    QString text = window.windowTitle() + window.lbTitle->text() + window.plStatus->text();
    for (int row = 0; row < window.lvList->rowCount(); ++row)
        text += window.lvList->item(row, 0)->text() + window.lvList->item(row, 1)->text();
    return text;
}

} // namespace

class TestFrmOperation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        REQUIRE_TEST_SERVERS();
        for (const QString& account : Accounts(QStringLiteral("vtst_bat"), 3))
            QVERIFY(ResetPassword(account, Password));
    }

    void preparedWindow()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const QList<TUser> users = {f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat1"), Password),
                                    f.AddUser(2, 1, OpenSshAddress, QStringLiteral("vtst_bat2"), Password)};
        TfrmOperation window(f.dm, f.operations, otChangePassword, ooSendNoticeMail, users);

        const QString caption = QStringLiteral("Change Password  and Send Notice Mail ");
        QCOMPARE(window.windowTitle(), caption);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lbTitle"))->text(), caption);
        QCOMPARE(window.size(), QSize(606, 421));
        auto* list = window.findChild<QTableWidget*>(QStringLiteral("lvList"));
        QVERIFY(list);
        QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Login Name"));
        QCOMPARE(list->horizontalHeaderItem(1)->text(), caption);
        QCOMPARE(list->columnWidth(0), 150);
        QCOMPARE(list->columnWidth(1), 419);
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->item(1, 0)->text(), QStringLiteral("vtst_bat2"));
        QCOMPARE(list->item(1, 1)->text(), QString());
        QCOMPARE(rowState(window, 1), TRowState::None);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("plStatus"))->text(), QStringLiteral(" Connect to "));
        auto* progress = window.findChild<QProgressBar*>(QStringLiteral("pbDoing"));
        QCOMPARE(progress->maximum(), 2);
        QCOMPARE(progress->value(), 0);
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("btnStop"))->isHidden());
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("btnLog"))->isHidden());
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("btnClose"))->isEnabled());
        QCOMPARE(f.LogRows().size(), 0); // nothing runs before the window is shown
    }

    void wholeRunAsShown()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        QList<TUser> users;
        for (int i = 1; i <= 3; ++i)
            users << f.AddUser(i, 1, OpenSshAddress, QStringLiteral("vtst_bat%1").arg(i), Password);
        TfrmOperation window(f.dm, f.operations, otTestLogin, 0, users);
        QStringList statusesSeen;
        bool runningRowShowedItsTime = false;
        QTimer watcher; // samples what the window shows while the batch runs
        connect(&watcher, &QTimer::timeout, [&] {
            if (!statusesSeen.contains(window.plStatus->text()))
                statusesSeen << window.plStatus->text();
            for (int row = 0; row < 3; ++row)
                runningRowShowedItsTime |= rowState(window, row) == TRowState::Running &&
                                           window.lvList->item(row, 1)->text().startsWith(QLatin1Char('['));
        });
        watcher.start(5);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.btnLog->isVisible(), 60000);

        for (int row = 0; row < 3; ++row) {
            QCOMPARE(rowState(window, row), TRowState::Succeeded);
            QVERIFY(window.lvList->item(row, 1)->text().endsWith(QStringLiteral("]  Login Successed. ")));
        }
        QCOMPARE(window.lbTitle->text(), QStringLiteral("Test Login  - Total: 3     Successed: 3     Failed: 0     "));
        QCOMPARE(window.plStatus->text(), QStringLiteral(" Finished!"));
        QCOMPARE(window.pbDoing->value(), 3);
        QVERIFY(window.btnStop->isHidden());
        QVERIFY(window.btnClose->isEnabled());
        QVERIFY(statusesSeen.contains(QStringLiteral(" Connect to 127.0.0.2:2222 (login as vtst_bat2)... Login "
                                                     "Successed. ")));
        QCOMPARE(window.Users()[2].ResultText, QStringLiteral("Login Successed. "));
        QVERIFY(runningRowShowedItsTime); // "[0.2s]  Connect to ..." while the row runs
        VerifyNoSecret(windowTexts(window), {Password});

        // Activating the window again (after a viewer or a message box) does not rerun the batch.
        window.hide();
        window.show();
        QApplication::processEvents();
        QTest::qWait(50);
        QCOMPARE(f.LogRows().size(), 3);

        QTest::keyClick(&window, Qt::Key_Escape); // closes once the batch is over
        QVERIFY(!window.isVisible());
    }

    void stopEscAndTheLogAfterAStoppedRun()
    {
        BatchFixture f;
        f.AddHost(1, DialogAddress);
        const QString newPassword = QStringLiteral("Nw-8k#Lq2z!");
        QList<TUser> users;
        const QStringList logins = {QStringLiteral("vtdlg_debian1"), QStringLiteral("vtdlg_slow1"),
                                    QStringLiteral("vtdlg_debian1"), QStringLiteral("vtdlg_debian1"),
                                    QStringLiteral("vtdlg_debian1")};
        for (int i = 0; i < logins.size(); ++i)
            users << f.AddUser(i + 1, 1, DialogAddress, logins[i], Password, newPassword);
        TfrmOperation window(f.dm, f.operations, otChangePassword, 0, users);
        bool stillOpenAfterClose = false;
        int viewersDuringRun = -1;
        bool poked = false;
        QTimer poke;
        poke.setSingleShot(false);
        connect(&poke, &QTimer::timeout, [&] {
            if (rowState(window, 1) != TRowState::Running || poked)
                return;
            poked = true;
            // Fired from the window's event loop, past the login and into the slow conversation.
            QTimer::singleShot(1500, [&] {
                window.close();
                stillOpenAfterClose = window.isVisible();
                window.lvList->setCurrentCell(0, 0);
                window.lvListDblClick();
                viewersDuringRun = static_cast<int>(f.ui.shown(QStringLiteral("runlog")).size());
                QTest::keyClick(&window, Qt::Key_Escape); // the Stop button while running
            });
        });
        poke.start(20);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.btnLog->isVisible(), 60000);

        QVERIFY(stillOpenAfterClose);
        QCOMPARE(viewersDuringRun, 0);
        QCOMPARE(rowState(window, 0), TRowState::Succeeded);
        QCOMPARE(rowState(window, 1), TRowState::Failed);
        QVERIFY2(window.lvList->item(1, 1)->text().endsWith(QStringLiteral("]  Changed Failed. Cancelled by user. ")),
                 qPrintable(window.lvList->item(1, 1)->text()));
        for (int row = 2; row < 5; ++row) {
            QCOMPARE(rowState(window, row), TRowState::None);
            QCOMPARE(window.lvList->item(row, 1)->text(), QString());
        }
        QCOMPARE(window.lbTitle->text(),
                 QStringLiteral("Change Password  - Total: 5     Successed: 1     Failed: 4     "));
        QCOMPARE(window.pbDoing->value(), 2);

        QTest::mouseClick(window.btnLog, Qt::LeftButton);
        auto viewers = f.ui.shown(QStringLiteral("runlog"));
        QCOMPARE(viewers.size(), 1);
        QCOMPARE(viewers[0].caption, QStringLiteral("Change Password - Log"));
        QCOMPARE(viewers[0].text, UserHistoryText(window.Users()[0]) + UserHistoryText(window.Users()[1]));

        window.lvList->setCurrentCell(1, 0);
        window.lvListDblClick();
        viewers = f.ui.shown(QStringLiteral("runlog"));
        QCOMPARE(viewers.size(), 2);
        QCOMPARE(viewers[1].caption, QStringLiteral("Change Password - Log"));
        QCOMPARE(viewers[1].text, UserHistoryText(window.Users()[1]));
        VerifyNoSecret(windowTexts(window) + f.EverythingKept(), {Password, newPassword});

        QTest::mouseClick(window.btnClose, Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    void closeBoxGreyedWhileRunningAndProgressInSegments()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const QList<TUser> users = {f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat1"), Password),
                                    f.AddUser(2, 1, OpenSshAddress, QStringLiteral("vtst_bat2"), Password)};
        TfrmOperation window(f.dm, f.operations, otTestLogin, 0, users);
        QVERIFY(!window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        bool closeBoxSeenWhileRunning = false;
        bool sampledWhileRunning = false;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, [&] {
            if (window.windowHandle() && window.btnStop->isVisible()) {
                sampledWhileRunning = true;
                closeBoxSeenWhileRunning |= window.windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint);
            }
        });
        watcher.start(5);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.btnLog->isVisible(), 60000);

        QVERIFY(sampledWhileRunning);
        QVERIFY(!closeBoxSeenWhileRunning);
        QVERIFY(window.isVisible()); // greying the box did not end the modal window
        QVERIFY(window.windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(window.windowHandle()->flags().testFlag(Qt::CustomizeWindowHint));
        QVERIFY(!(window.windowHandle()->flags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

        // Count the lit and unlit segments along the bar's middle line.
        const auto segments = [&window] {
            const QImage image = window.pbDoing->grab().toImage();
            const QColor background = window.pbDoing->palette().color(QPalette::Base);
            int lit = 0, unlit = 0;
            QRgb previous = background.rgb();
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, image.height() / 2);
                if (pixel != previous && pixel != background.rgb() && qGreen(pixel) > qRed(pixel) + 64)
                    ++lit;
                else if (pixel != previous && pixel != background.rgb() && qGray(pixel) > 200)
                    ++unlit;
                previous = pixel;
            }
            return qMakePair(lit, unlit);
        };
        QCOMPARE(segments(), qMakePair(50, 0));
        window.pbDoing->setValue(1);
        QCOMPARE(segments(), qMakePair(25, 25));
        window.close();
    }

    void longResultIsShownInFull()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const QList<TUser> users = {f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat1"), Password)};
        QString reason; // about as long as a host's reason may be
        while (reason.size() < 300)
            reason += QStringLiteral("authentication token manipulation error %1 ").arg(reason.size());
        ScriptedOperations operations;
        operations.mail = [&](const TUser&, TActionStaus& status, TRunContext&) {
            status.Set(acSendFailed);
            status.Detail = reason;
        };
        TfrmOperation window(f.dm, operations, otSendMail, 0, users);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.btnLog->isVisible(), 10000);

        const QTableWidgetItem* result = window.lvList->item(0, 1);
        QVERIFY2(result->text().endsWith(QStringLiteral("]  Send Failed. ") + reason), qPrintable(result->text()));
        QCOMPARE(result->toolTip(), result->text());
        // The row is tall enough for every wrapped line: nothing of the text is cut off or elided.
        const QFontMetrics metrics = window.lvList->fontMetrics();
        const int needed =
            metrics
                .boundingRect(QRect(0, 0, window.lvList->columnWidth(1) - 8, 10000), Qt::TextWordWrap, result->text())
                .height();
        QVERIFY(needed > 2 * metrics.height());
        QVERIFY2(window.lvList->rowHeight(0) >= needed, qPrintable(QString::number(window.lvList->rowHeight(0))));
        window.close();
    }

    void escapingErrorIsShownAndTheWindowCanClose()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const QList<TUser> users = {f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat3"), Password)};
        f.dm.DBSession.Execute(QStringLiteral("create trigger refuse before update on Users "
                                              "begin select raise(abort, 'read-only'); end;"));
        QFile blocker(f.env.dir() + QStringLiteral("/Logs"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TfrmOperation window(f.dm, f.operations, otTestLogin, 0, users);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.btnLog->isVisible(), 60000);

        const auto boxes = f.ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, ApplicationTitle);
        QCOMPARE(boxes[0].style, int(StyleError));
        QVERIFY(boxes[0].text.contains(f.env.dir() + QStringLiteral("/Logs")));
        // The login itself succeeded; the row says where its outcome went: nowhere.
        QCOMPARE(window.lbTitle->text(), QStringLiteral("Test Login  - Total: 1     Successed: 1     Failed: 0     "));
        QVERIFY(window.lvList->item(0, 1)->text().endsWith(QStringLiteral("]  Save data error, logfile failed too.")));
        window.close();
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestFrmOperation)
#include "tst_frmoperation.moc"
