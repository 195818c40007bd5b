// The main window's user list and batch dispatch, driven offscreen: sorting with its one direction
// flag, colours and pictures by position, the "Passed Days" rule, check boxes, Delete User and
// Generate new password in one transaction, the memo, and RunOperation's selection, confirmation
// and write-back.

#include "batch/BatchLock.h"
#include "batch/ChangeIntent.h"
#include "batch/History.h"
#include "tests/gui/MainWindowTestSupport.h"
#include "ui/OperationDispatch.h"
#include "ui/THostNode.h"
#include "ui/THostTreeView.h"
#include "ui/TfrmUserEdit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace MainWindowTest;

namespace {

const QList<SeedHost> OneHost = {{QStringLiteral("10.0.0.1"), 2222, QString()}};

QList<SeedUser> Users(const QStringList& logins)
{
    QList<SeedUser> users;
    for (const QString& login : logins)
        users.append(SeedUser(0, login));
    return users;
}

QStringList CheckedLogins(const TfrmMain& window)
{
    QStringList logins;
    const TUserListModel& rows = window.lvUsers->Model();
    for (int row = 0; row < rows.rowCount(); ++row)
        if (rows.IsChecked(row))
            logins << rows.Text(row, 0);
    return logins;
}

void Check(TfrmMain& window, const QStringList& logins)
{
    for (const QString& login : logins)
        window.lvUsers->Model().SetChecked(RowOf(window, login), true);
}

QStringList StoredColumn(TdmPublic& dm, const QString& column)
{
    QStringList values;
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select ") + column + QStringLiteral(" from Users order by uID");
    dm.OpenQuery(*query);
    for (; !query->Eof(); query->Next())
        values << query->Fields(0).AsString();
    return values;
}

void RightClickHeader(TfrmMain& window, int column)
{
    QHeaderView* header = window.lvUsers->horizontalHeader();
    const QPoint point(header->sectionViewportPosition(column) + 5, header->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, header->viewport()->mapToGlobal(point));
    QApplication::sendEvent(header->viewport(), &event);
}

} // namespace

class TestMainUserList : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { DayNumber::SetFixedNow(QDateTime()); }
    void unconfirmedChangeIsShownKeptAndOfferedForVerifying();
    void changeBatchOfAnotherProcessRefusesThisOne();
    void editingARowLoadedBeforeAnotherRunKeepsItsPassword();
    void sortsAsTextWithOneFlag_data();
    void sortsAsTextWithOneFlag();
    void sortsDaysAndTimesInOrder_data();
    void sortsDaysAndTimesInOrder();
    void coloursAndPicturesFollowPosition();
    void passedDaysRule_data();
    void passedDaysRule();
    void dueSoonStaysRedWhenSelected();
    void loginHeaderRightClickInverts_data();
    void loginHeaderRightClickInverts();
    void checkCountsInStatusBar();
    void deleteUsers_data();
    void deleteUsers();
    void failedDeleteIsUndoneAndShown();
    void generatesNewPasswords();
    void memoShowsSelectedHistory();
    void editUser_data();
    void editUser();
    void usersAddedOneAfterAnother();
    void dispatchChoosesUsers_data();
    void dispatchChoosesUsers();
    void dispatchWritesBackByUserId();
    void dispatchWithNothingToRun();
};

void TestMainUserList::sortsAsTextWithOneFlag_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<int>("markColumn");
    QTest::addColumn<bool>("markUp");

    // Valid periods: u10 10, u100 100, u30 30, u9 9, none "" (logins chosen to sort differently).
    // The period sorts as a number, the empty one last; the logins sort as text.
    QTest::newRow("first click ascending, as number")
        << QList<int>{2} << QStringList({"u9", "u10", "u30", "u100", "none"}) << 2 << true;
    QTest::newRow("second click descending, empty still last")
        << QList<int>{2, 2} << QStringList({"u100", "u30", "u10", "u9", "none"}) << 2 << false;
    QTest::newRow("Login after two clicks ascends")
        << QList<int>{2, 2, 0} << QStringList({"none", "u10", "u100", "u30", "u9"}) << 0 << true;
    QTest::newRow("Login after one click descends")
        << QList<int>{2, 0} << QStringList({"u9", "u30", "u100", "u10", "none"}) << 0 << false;
}

void TestMainUserList::sortsAsTextWithOneFlag()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, order);
    QFETCH(int, markColumn);
    QFETCH(bool, markUp);

    GuiServices gui;
    Installation install(OneHost, {SeedUser(0, "u30", 30), SeedUser(0, "u9", 9), SeedUser(0, "none"),
                                   SeedUser(0, "u100", 100), SeedUser(0, "u10", 10)});
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    for (int column : clicks)
        ClickHeader(*window, column);

    QCOMPARE(Logins(*window), order);
    const TUserListModel& rows = window->lvUsers->Model();
    QCOMPARE(rows.SortMarkColumn(), markColumn);
    QCOMPARE(rows.SortMarkUp(), markUp);
    for (int column = 0; column < TUserListModel::ColumnCount; ++column)
        QCOMPARE(rows.headerData(column, Qt::Horizontal, Qt::DecorationRole).isValid(), column == markColumn);
}

void TestMainUserList::sortsDaysAndTimesInOrder_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("order");

    // Changed on Aug 1 2019 (213 days ago), Jan 10 2020 (51), Feb 21 2020 (9), never: as text the
    // days would give 213, 51, 9 and the dates Aug, Feb, Jan, with the empty cell first.
    QTest::newRow("Passed Days ascending") << QList<int>{3} << QStringList({"feb", "jan", "aug", "never"});
    QTest::newRow("Passed Days descending") << QList<int>{3, 3} << QStringList({"aug", "jan", "feb", "never"});
    QTest::newRow("Last Change Time ascending") << QList<int>{6} << QStringList({"aug", "jan", "feb", "never"});
    QTest::newRow("Last Change Time descending") << QList<int>{6, 6} << QStringList({"feb", "jan", "aug", "never"});
}

void TestMainUserList::sortsDaysAndTimesInOrder()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, order);

    DayNumber::SetFixedNow(QDateTime(QDate(2020, 3, 1), QTime(12, 0)));
    const auto changed = [](int year, int month, int day) {
        return DayNumber::FromDateTime(QDateTime(QDate(year, month, day), QTime(10, 0)));
    };
    GuiServices gui;
    Installation install(OneHost,
                         {SeedUser(0, "never"), SeedUser(0, "jan", 90, changed(2020, 1, 10)),
                          SeedUser(0, "aug", 90, changed(2019, 8, 1)), SeedUser(0, "feb", 90, changed(2020, 2, 21))});
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    for (int column : clicks)
        ClickHeader(*window, column);

    QCOMPARE(Logins(*window), order);
}

void TestMainUserList::coloursAndPicturesFollowPosition()
{
    GuiServices gui;
    Installation install(OneHost, Users({"b", "a", "c"}));
    auto window = install.Open();
    const TUserListModel& rows = window->lvUsers->Model();
    const auto background = [&](int row) {
        return rows.data(rows.index(row, 4), Qt::BackgroundRole).value<QColor>();
    };
    const auto picture = [&](int row) {
        return rows.data(rows.index(row, 0), Qt::DecorationRole).value<QIcon>().pixmap(18, 18).toImage();
    };
    const QImage evenPicture = picture(0);
    const QImage oddPicture = picture(1);
    QVERIFY(evenPicture != oddPicture);

    window->lvUsersColumnClick(0); // a, b, c: every user moves
    QCOMPARE(Logins(*window), QStringList({"a", "b", "c"}));
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(background(row), row % 2 == 0 ? QColor(Qt::white) : QColor(0xEF, 0xEF, 0xEF));
        QCOMPARE(picture(row), row % 2 == 0 ? evenPicture : oddPicture);
    }
}

void TestMainUserList::passedDaysRule_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("daysAgo"); // -1: never changed
    QTest::addColumn<bool>("red");

    QTest::newRow("30 days, changed 23 ago") << 30 << 23 << true;
    QTest::newRow("30 days, changed 22 ago") << 30 << 22 << false;
    QTest::newRow("30 days, changed today") << 30 << 0 << false;
    QTest::newRow("30 days, overdue") << 30 << 45 << true;
    QTest::newRow("no period, long ago") << -1 << 400 << false;
    QTest::newRow("never changed") << 30 << -1 << false;
}

void TestMainUserList::passedDaysRule()
{
    QFETCH(int, period);
    QFETCH(int, daysAgo);
    QFETCH(bool, red);

    const QDateTime now(QDate(2026, 3, 10), QTime(12, 0));
    DayNumber::SetFixedNow(now);
    GuiServices gui;
    const double changed = daysAgo < 0 ? DayNumber::None : DayNumber::FromDateTime(now.addDays(-daysAgo));
    Installation install(OneHost, {SeedUser(0, "u", period, changed)});
    auto window = install.Open();
    const TUserListModel& rows = window->lvUsers->Model();
    const QModelIndex cell = rows.index(0, TUserListModel::PassedDaysColumn);

    QCOMPARE(rows.Text(0, TUserListModel::PassedDaysColumn), daysAgo < 0 ? QString() : QString::number(daysAgo));
    QVERIFY(rows.data(cell, Qt::FontRole).value<QFont>().bold());
    QCOMPARE(rows.data(cell, Qt::ForegroundRole).value<QColor>(), red ? QColor(Qt::red) : QColor(Qt::black));
    QVERIFY(!rows.data(rows.index(0, 4), Qt::FontRole).isValid());
}

void TestMainUserList::dueSoonStaysRedWhenSelected()
{
    const QDateTime now(QDate(2026, 3, 10), QTime(12, 0));
    DayNumber::SetFixedNow(now);
    GuiServices gui;
    Installation install(OneHost, {SeedUser(0, "due", 30, DayNumber::FromDateTime(now.addDays(-28))),
                                   SeedUser(0, "fine", 90, DayNumber::FromDateTime(now.addDays(-28)))});
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    TUserListView& list = *window->lvUsers;
    const auto redPixels = [&list](int row) {
        const QImage image = list.viewport()->grab(list.visualRect(list.model()->index(row, 3))).toImage();
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                red += pixel.red() > pixel.green() + 60 && pixel.red() > pixel.blue() + 60;
            }
        return red;
    };

    for (int row = 0; row < 2; ++row) {
        list.setFocus();
        list.SelectRow(row);
        QVERIFY2(redPixels(0) > 0, row == 0 ? "selected" : "not selected");
        QCOMPARE(redPixels(1), 0);
    }
}

void TestMainUserList::loginHeaderRightClickInverts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("checked");

    QTest::newRow("Login inverts") << 0 << QStringList({"a", "c", "e"});
    QTest::newRow("other header does nothing") << 3 << QStringList({"b", "d"});
}

void TestMainUserList::loginHeaderRightClickInverts()
{
    QFETCH(int, column);
    QFETCH(QStringList, checked);

    GuiServices gui;
    Installation install(OneHost, Users({"a", "b", "c", "d", "e"}));
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    Check(*window, {"b", "d"});
    RightClickHeader(*window, column);
    QCOMPARE(CheckedLogins(*window), checked);
    QCOMPARE(window->stCountValue->text(), QStringLiteral(" %1 Selected.").arg(checked.size()));
}

void TestMainUserList::checkCountsInStatusBar()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a", "b", "c"}));
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    QTRY_COMPARE(window->stCountLabel->text(), QStringLiteral(" 3 Users,"));

    window->actSelectAll->trigger();
    QCOMPARE(window->stCountValue->text(), QStringLiteral(" 3 Selected."));
    window->actClearSelect->trigger();
    QCOMPARE(window->stCountValue->text(), QStringLiteral(" 0 Selected."));
    // A click on the check box itself.
    const QRect cell = window->lvUsers->visualRect(window->lvUsers->Model().index(1, 0));
    QTest::mouseClick(window->lvUsers->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(cell.left() + 10, cell.center().y()));
    QCOMPARE(CheckedLogins(*window), QStringList({"b"}));
    QCOMPARE(window->stCountValue->text(), QStringLiteral(" 1 Selected."));

    // The user count follows once the application is idle, without any user action.
    window->tvHosts->setCurrentItem(window->HomeNode->child(0));
    window->ClearUserList();
    QTRY_COMPARE(window->stCountLabel->text(), QStringLiteral(" 0 Users,"));
}

void TestMainUserList::deleteUsers_data()
{
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("answer"); // 0: no question expected
    QTest::addColumn<QStringList>("left");

    QTest::newRow("selected row alone, no question") << QStringList() << "b" << 0 << QStringList({"a", "c"});
    QTest::newRow("nothing checked or selected") << QStringList() << "" << 0 << QStringList({"a", "b", "c"});
    QTest::newRow("two checked, declined")
        << QStringList({"a", "c"}) << "b" << int(ButtonNo) << QStringList({"a", "b", "c"});
    QTest::newRow("two checked, confirmed") << QStringList({"a", "c"}) << "b" << int(ButtonYes) << QStringList({"b"});
}

void TestMainUserList::deleteUsers()
{
    QFETCH(QStringList, checked);
    QFETCH(QString, selected);
    QFETCH(int, answer);
    QFETCH(QStringList, left);

    GuiServices gui;
    Installation install(OneHost, Users({"a", "b", "c"}));
    auto window = install.Open();
    {
        // Every user has a history row, which goes with the user.
        auto query = window->dm().NewQuery();
        query->SelectSQL = QStringLiteral("insert into Logs(logID, UserID) select uID, uID from Users");
        window->dm().OpenQuery(*query);
    }
    Check(*window, checked);
    if (!selected.isEmpty())
        window->lvUsers->SelectRow(RowOf(*window, selected));
    if (answer)
        GuiUiServices::setNextAnswer(answer);

    window->actUserDele->trigger();
    QCOMPARE(GuiServices::Messages(), answer ? QStringList({"Are you sure to delete these users? "}) : QStringList());
    QCOMPARE(Logins(*window), left);
    QCOMPARE(StoredColumn(window->dm(), QStringLiteral("LoginName")), left);
    QCOMPARE(StoredColumn(window->dm(), QStringLiteral("(select count(*) from Logs where UserID = uID)")),
             QStringList(left.size(), QStringLiteral("1")));
}

void TestMainUserList::failedDeleteIsUndoneAndShown()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a", "b", "c"}));
    auto window = install.Open();
    {
        auto query = window->dm().NewQuery();
        query->SelectSQL = QStringLiteral("create trigger keep_b before delete on Users when old.LoginName = 'b' "
                                          "begin select raise(abort, 'b is kept'); end");
        QVERIFY(window->dm().OpenQuery(*query));
    }
    window->actSelectAll->trigger();
    GuiUiServices::setNextAnswer(ButtonYes);
    window->actUserDele->trigger();

    // c went before b failed: its delete is rolled back too, and the list shows the database again.
    QCOMPARE(StoredColumn(window->dm(), QStringLiteral("LoginName")), QStringList({"a", "b", "c"}));
    QCOMPARE(Logins(*window), QStringList({"a", "b", "c"}));
    const QList<ShownMessageBox>& shown = GuiUiServices::shownMessageBoxes();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].caption, QStringLiteral("Error"));
    QCOMPARE(shown[1].style, int(StyleError));
    QVERIFY2(shown[1].text.contains(QStringLiteral("b")), qPrintable(shown[1].text));
    QCOMPARE(window->dm().DBSession.TransactionDepth(), 0);
}

void TestMainUserList::generatesNewPasswords()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a", "b", "c", "d"}));
    auto window = install.Open();
    Check(*window, {"a", "b", "d"});
    GuiUiServices::setNextAnswer(ButtonYes);
    window->actNewPass->trigger();

    QCOMPARE(GuiServices::Messages(), QStringList({"Are you sure to generate password? "}));
    const QStringList stored = StoredColumn(window->dm(), QStringLiteral("pwNew"));
    const int length = window->dm().OptionsFile.PassLength();
    for (int i : {0, 1, 3}) {
        QVERIFY(!stored[i].isEmpty());
        QCOMPARE(DecipherPassword(stored[i]).size(), length);
        QCOMPARE(window->lvUsers->Model().Text(i, 1), QStringLiteral("********"));
        QCOMPARE(window->lvUsers->Model().UserAt(i)->pwNew, stored[i]);
    }
    QVERIFY(stored[2].isEmpty());
    QVERIFY(window->lvUsers->Model().Text(2, 1).isEmpty());
    QVERIFY(CheckedLogins(*window).isEmpty());
}

void TestMainUserList::memoShowsSelectedHistory()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a", "b"}));
    {
        TdmPublic dm(install.env.executablePath());
        auto query = dm.NewQuery();
        query->SelectSQL =
            QStringLiteral("update Users set LastLog = 'Recorded Time: x'||char(13,10) where LoginName='b'");
        dm.OpenQuery(*query);
    }
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    window->lvUsers->SelectRow(1);
    const QString expected = UserHistoryText(*window->lvUsers->Model().UserAt(1));
    QVERIFY(!expected.isEmpty());
    QString shown = expected;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QCOMPARE(window->moLog->toPlainText(), shown);
    QVERIFY(window->moLog->toPlainText().contains(QStringLiteral(" 10.0.0.1:2222 - b\n")));

    QString caption, text;
    ModalDriver driver([&](QDialog& dialog) {
        caption = dialog.windowTitle();
        text = dialog.findChild<QPlainTextEdit*>(QStringLiteral("moInfo"))->toPlainText();
        dialog.reject();
    });
    QTest::mouseDClick(window->moLog->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    QCOMPARE(caption, QStringLiteral("Lastest Return Message"));
    QCOMPARE(text, window->moLog->toPlainText());

    // A user without history leaves the memo empty.
    window->lvUsers->SelectRow(0);
    QVERIFY(window->moLog->toPlainText().isEmpty());
}

void TestMainUserList::editUser_data()
{
    QTest::addColumn<bool>("hostChosen");
    QTest::addColumn<bool>("rowSelected");
    QTest::addColumn<QString>("caption"); // "" when no editor opens

    QTest::newRow("row of all users") << false << true << "User Editing - 10.0.0.1:2222";
    QTest::newRow("row of a host") << true << true << "User Editing - 10.0.0.1:2222";
    QTest::newRow("no row, host chosen: adds") << true << false << "Add User - 10.0.0.1:2222";
    QTest::newRow("no row, all users: nothing") << false << false << "";
}

void TestMainUserList::editUser()
{
    QFETCH(bool, hostChosen);
    QFETCH(bool, rowSelected);
    QFETCH(QString, caption);

    GuiServices gui;
    Installation install(OneHost, Users({"a", "b"}));
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    if (hostChosen)
        window->tvHosts->setCurrentItem(window->HomeNode->child(0));
    Check(*window, {"a", "b"});
    if (rowSelected)
        window->lvUsers->SelectRow(1);
    const TUser before = *window->lvUsers->Model().UserAt(1);

    QString opened;
    ModalDriver driver([&opened](QDialog& dialog) {
        auto& editor = dynamic_cast<TfrmUserEdit&>(dialog);
        opened = editor.windowTitle();
        if (editor.edtLogin->text().isEmpty()) {
            editor.edtLogin->setText(QStringLiteral("c"));
            editor.edtOldPwd->setText(QStringLiteral("secret"));
        }
        editor.edtUserName->setText(QStringLiteral("Ann O'Neil"));
        editor.btnSave->click();
    });
    window->actModify->trigger();

    QCOMPARE(opened, caption);
    if (caption.startsWith(QStringLiteral("User Editing"))) {
        // Stored and shown in place; the row's check box is cleared, the other rows keep theirs.
        QCOMPARE(StoredColumn(window->dm(), QStringLiteral("uName")), QStringList({"", "Ann O'Neil"}));
        QCOMPARE(window->lvUsers->Model().Text(1, 4), QStringLiteral("Ann O'Neil"));
        const TUser after = *window->lvUsers->Model().UserAt(1);
        QCOMPARE(after.uID, before.uID);
        QCOMPARE(after.RecTime, before.RecTime);
        QCOMPARE(CheckedLogins(*window), QStringList({"a"}));
    } else if (!caption.isEmpty()) {
        QCOMPARE(Logins(*window), QStringList({"a", "b", "c"}));
        QCOMPARE(StoredColumn(window->dm(), QStringLiteral("LoginName")), QStringList({"a", "b", "c"}));
        QCOMPARE(window->lvUsers->Model().UserAt(2)->uID, 3);
        QVERIFY(window->lvUsers->Model().UserAt(2)->RecTime > 0);
    } else {
        QCOMPARE(StoredColumn(window->dm(), QStringLiteral("LoginName")), QStringList({"a", "b"}));
    }
}

void TestMainUserList::usersAddedOneAfterAnother()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a"}));
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    window->tvHosts->setCurrentItem(window->HomeNode->child(0));
    ModalDriver driver([](QDialog& dialog) {
        auto& editor = dynamic_cast<TfrmUserEdit&>(dialog);
        for (const char* login : {"b", "c"}) {
            editor.edtLogin->setText(QLatin1String(login));
            editor.edtOldPwd->setText(QStringLiteral("secret"));
            editor.btnSaveAdd->click();
        }
        editor.btnCancel->click();
    });
    window->actUserAdd->trigger();

    // Both stored and listed by the editor itself; Cancel stores nothing more.
    QCOMPARE(Logins(*window), QStringList({"a", "b", "c"}));
    QCOMPARE(StoredColumn(window->dm(), QStringLiteral("LoginName")), QStringList({"a", "b", "c"}));
    QCOMPARE(window->lvUsers->SelectedRow(), -1);
}

void TestMainUserList::dispatchChoosesUsers_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<bool>("askSettingOn");
    QTest::addColumn<int>("answer"); // 0: no question expected
    QTest::addColumn<QStringList>("ran");

    QTest::newRow("selected row alone, setting on") << 2 << QStringList() << true << 0 << QStringList({"b"});
    QTest::newRow("one checked, setting on") << 1 << QStringList({"c"}) << true << 0 << QStringList({"c"});
    QTest::newRow("three checked, change setting off")
        << 2 << QStringList({"a", "b", "c"}) << false << 0 << QStringList({"a", "b", "c"});
    QTest::newRow("three checked, test login asks")
        << 1 << QStringList({"a", "b", "c"}) << true << int(ButtonYes) << QStringList({"a", "b", "c"});
    QTest::newRow("declined") << 3 << QStringList({"a", "c"}) << true << int(ButtonNo) << QStringList();
}

void TestMainUserList::dispatchChoosesUsers()
{
    QFETCH(int, type);
    QFETCH(QStringList, checked);
    QFETCH(bool, askSettingOn);
    QFETCH(int, answer);
    QFETCH(QStringList, ran);

    GuiServices gui;
    Installation install(OneHost, Users({"a", "b", "c"}));
    auto window = install.Open();
    window->dm().OptionsFile.SetChangePassword(askSettingOn);
    window->dm().OptionsFile.SetTestLogin(askSettingOn);
    window->dm().OptionsFile.SetSendMail(askSettingOn);
    QStringList passed;
    window->SetBatchWindow([&passed](TOperationType, TOperationOptions, const QList<TUser>& users) {
        for (const TUser& user : users)
            passed << user.LoginName;
        return users;
    });
    Check(*window, checked);
    window->lvUsers->SelectRow(RowOf(*window, QStringLiteral("b")));
    if (answer)
        GuiUiServices::setNextAnswer(answer);

    const QList<QAction*> commands = {window->actTest, window->actChangePwd, window->actSendMail};
    commands[type - 1]->trigger();
    QCOMPARE(passed, ran);
    QCOMPARE(GuiServices::Messages(),
             answer ? QStringList({ConfirmationQuestion(TOperationType(type))}) : QStringList());
    // The rows that ran come back unchecked; a declined batch leaves the checks alone.
    QCOMPARE(CheckedLogins(*window), ran.isEmpty() ? checked : QStringList());
}

void TestMainUserList::dispatchWritesBackByUserId()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a", "b", "c", "d"}));
    auto window = install.Open();
    Check(*window, {"a", "b", "c"});
    window->lvUsers->SelectRow(RowOf(*window, QStringLiteral("b")));
    window->dm().OptionsFile.SetChangePassword(false);

    // A batch stopped after its first user: a changed, b and c untouched copies; c does not come back.
    const QDateTime changedAt(QDate(2026, 1, 2), QTime(3, 4));
    QList<TOperationOptions> options;
    window->SetBatchWindow([&](TOperationType, TOperationOptions option, const QList<TUser>& users) {
        options << option;
        QList<TUser> after = users.mid(0, 2);
        after[0].pwNow = after[0].pwNew;
        after[0].pwNew.clear();
        after[0].pwLastTime = DayNumber::FromDateTime(changedAt);
        after[0].LastLog = QStringLiteral("changed\r\n");
        after[1].LastLog = QStringLiteral("never ran\r\n");
        std::swap(after[0], after[1]); // matched by uID, not by position
        return after;
    });
    window->RzToolButton10Click();

    QCOMPARE(options, QList<TOperationOptions>({ooSendNoticeMail}));
    const TUserListModel& rows = window->lvUsers->Model();
    QVERIFY(rows.Text(0, 1).isEmpty());
    QCOMPARE(rows.Text(0, 6), QLocale().toString(changedAt, QStringLiteral("MMM d, yyyy hh:mm")));
    QCOMPARE(rows.UserAt(1)->LastLog, QStringLiteral("never ran\r\n"));
    QCOMPARE(CheckedLogins(*window), QStringList({"c"}));
    // The memo shows the refreshed history of the selected row.
    QVERIFY(window->moLog->toPlainText().contains(QStringLiteral("never ran")));
}

void TestMainUserList::dispatchWithNothingToRun()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a"}));
    auto window = install.Open();
    int shown = 0;
    window->SetBatchWindow([&shown](TOperationType, TOperationOptions, const QList<TUser>& users) {
        ++shown;
        return users;
    });
    window->actTest->trigger();
    window->actChangePwd->trigger();
    QCOMPARE(shown, 0);
    QVERIFY(GuiServices::Messages().isEmpty());
    QCOMPARE(CheckedCount(window->lvUsers->Model()), -1);
}

void TestMainUserList::unconfirmedChangeIsShownKeptAndOfferedForVerifying()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a", "b"}));
    {
        // An earlier run died while it changed b.
        TdmPublic& dm = install.env.dm();
        TUser b;
        b.uID = 2;
        QVERIFY(RefreshPasswords(dm, b));
        b.pwNew = EncipherPassword(QStringLiteral("maybe-live"));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("update Users set pwNew = '%1' where uID = 2").arg(b.pwNew);
        QVERIFY(dm.OpenQuery(*query));
        RecordChangeIntent(dm, b, 46000.5);
    }
    auto window = install.Open();
    QList<TUser> offered;
    TOperationType offeredType = otTestLogin;
    window->SetBatchWindow([&](TOperationType type, TOperationOptions, const QList<TUser>& users) {
        offeredType = type;
        offered = users;
        return users;
    });

    // The list and the memo say so.
    const int b = RowOf(*window, QStringLiteral("b"));
    QCOMPARE(window->lvUsers->Model().Text(b, 1), QStringLiteral("******** (unconfirmed)"));
    window->lvUsers->SelectRow(b);
    QVERIFY(window->moLog->toPlainText().startsWith(QStringLiteral("Change not confirmed: ")));

    // Generate leaves b's pending password alone and says why.
    Check(*window, {"a", "b"});
    GuiUiServices::setNextAnswer(ButtonYes);
    window->actNewPass->trigger();
    QCOMPARE(DecipherPassword(StoredColumn(window->dm(), QStringLiteral("pwNew"))[1]), QStringLiteral("maybe-live"));
    QVERIFY(!StoredColumn(window->dm(), QStringLiteral("pwNew"))[0].isEmpty());
    QVERIFY2(GuiServices::Messages().last().contains(QStringLiteral("b on 10.0.0.1:2222")),
             qPrintable(GuiServices::Messages().last()));
    QCOMPARE(CheckedLogins(*window), QStringList{QStringLiteral("b")});

    // At start it is offered for verifying, once, with exactly that user.
    GuiUiServices::setNextAnswer(ButtonYes);
    window->OfferToVerifyUnconfirmedChanges();
    QVERIFY2(GuiServices::Messages().last().contains(QStringLiteral("  b on 10.0.0.1:2222")),
             qPrintable(GuiServices::Messages().last()));
    QCOMPARE(offeredType, otVerifyPassword);
    QCOMPARE(offered.size(), 1);
    QCOMPARE(offered[0].LoginName, QStringLiteral("b"));

    // Not while another process runs a change batch: its change of b is not left over.
    const int asked = GuiServices::Messages().size();
    const TBatchLock other(window->dm().DBSession.FileName(), QStringLiteral("veltrane-cli change-password"));
    window->OfferToVerifyUnconfirmedChanges();
    QCOMPARE(GuiServices::Messages().size(), asked);
}

void TestMainUserList::changeBatchOfAnotherProcessRefusesThisOne()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a"}));
    auto window = install.Open();
    bool ran = false;
    window->SetBatchWindow([&](TOperationType, TOperationOptions, const QList<TUser>& users) {
        ran = true;
        return users;
    });
    window->lvUsers->SelectRow(0);
    const TBatchLock other(window->dm().DBSession.FileName(), QStringLiteral("veltrane-cli change-password"));
    for (QAction* command : {window->actChangePwd, window->actVerify, window->actNewPass}) {
        GuiUiServices::clearShown();
        command->trigger();
        QVERIFY(!ran);
        QCOMPARE(GuiUiServices::shownMessageBoxes().size(), 1);
        QCOMPARE(GuiUiServices::shownMessageBoxes()[0].caption, QStringLiteral("Error"));
        QVERIFY(GuiServices::Messages()[0].contains(QStringLiteral("veltrane-cli change-password")));
    }
    // A test login changes nothing and is never held up.
    window->actTest->trigger();
    QVERIFY(ran);
}

void TestMainUserList::editingARowLoadedBeforeAnotherRunKeepsItsPassword()
{
    GuiServices gui;
    Installation install(OneHost, Users({"a"}));
    auto window = install.Open();
    // While the window shows the row, a cron run changes a's password.
    const QString changed = EncipherPassword(QStringLiteral("changed-by-cron"));
    auto query = window->dm().NewQuery();
    query->SelectSQL = QStringLiteral("update Users set pwNow = '%1' where uID = 1").arg(changed);
    QVERIFY(window->dm().OpenQuery(*query));

    ModalDriver driver([](QDialog& dialog) {
        auto& editor = dynamic_cast<TfrmUserEdit&>(dialog);
        editor.edtUserName->setText(QStringLiteral("Ann"));
        editor.btnSave->click();
    });
    window->lvUsers->SelectRow(0);
    window->actModify->trigger();
    QCOMPARE(StoredColumn(window->dm(), QStringLiteral("uName")), QStringList{QStringLiteral("Ann")});
    QCOMPARE(DecipherPassword(StoredColumn(window->dm(), QStringLiteral("pwNow"))[0]),
             QStringLiteral("changed-by-cron"));
}

QTEST_MAIN(TestMainUserList)
#include "tst_mainuserlist.moc"
