// The main window's frame and host tree, driven offscreen: start-up state, command keys, the host
// commands and their edge cases, help and about, and the column widths kept across a restart.

#include "core/TDBSession.h"
#include "tests/gui/MainWindowTestSupport.h"
#include "ui/ProgramPassword.h"
#include "ui/THelpWindow.h"
#include "ui/THostNode.h"
#include "ui/THostTreeView.h"
#include "ui/TfrmAbout.h"
#include "ui/TfrmHostEdit.h"
#include "ui/TfrmLogin.h"
#include "ui/TfrmUserEdit.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QToolButton>
#include <QTreeWidgetItemIterator>

using namespace MainWindowTest;

namespace {

const QList<SeedHost> TwoHosts = {{QStringLiteral("10.0.0.1"), 22, QStringLiteral("web servers")},
                                  {QStringLiteral("10.0.0.2"), 2222, QString()}};
const QList<SeedUser> FourUsers = {{0, QStringLiteral("alice")},
                                   {0, QStringLiteral("bob")},
                                   {0, QStringLiteral("carol")},
                                   {1, QStringLiteral("dave")}};

THostNode* NodeNamed(TfrmMain& window, const QString& text)
{
    for (QTreeWidgetItemIterator it(window.tvHosts); *it; ++it)
        if ((*it)->text(0) == text)
            return static_cast<THostNode*>(*it);
    return nullptr;
}

QPoint CentreOf(TfrmMain& window, QTreeWidgetItem* node)
{
    return window.tvHosts->visualItemRect(node).center();
}

int HostCount(TdmPublic& dm)
{
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select count(*) from Hosts");
    dm.OpenQuery(*query);
    return query->Fields(0).AsInteger();
}

QStringList HostRows(TdmPublic& dm)
{
    QStringList rows;
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select hID, hAddress, hNote from Hosts order by hID");
    dm.OpenQuery(*query);
    for (; !query->Eof(); query->Next())
        rows << query->Fields(0).AsString() + QLatin1Char('|') + query->Fields(1).AsString() + QLatin1Char('|') +
                    query->Fields(2).AsString();
    return rows;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void settingsThatCannotBeWrittenAtExitAreReported();
    void startsHiddenWithEverythingLoaded();
    void commandKeys_data();
    void commandKeys();
    void menusAndToolbarFollowTheCommands();
    void everyMenuMnemonicOpensItsMenu();
    void hostSelectionSetsTitleAndCommands_data();
    void hostSelectionSetsTitleAndCommands();
    void modifyHostActsOnLastMousePress();
    void modifyHostBeforeAnyMousePressEditsCurrent();
    void modifyHostAfterArrowsEditsCurrent();
    void doubleClickOpensEditor_data();
    void doubleClickOpensEditor();
    void treeNeverCollapses();
    void addedHostIsNumberedAfterHighest();
    void nothingShownThatWasNotStored();
    void deleteHost_data();
    void deleteHost();
    void helpWebAndFeedbackOpenTheirTargets();
    void helpAddressesComeFromTheSettingsFile();
    void aboutShowsVersion();
    void columnWidthsKeptAcrossRestart();
    void unreadableUserTableStillOpensTheWindow();
    void onlyAPlainLeftPressChoosesAHost();
};

void TestMainWindow::startsHiddenWithEverythingLoaded()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();

    QVERIFY(!window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Veltrane"));
    QCOMPARE(window->tvHosts->topLevelItemCount(), 1);
    QCOMPARE(window->HomeNode->text(0), QStringLiteral("Home"));
    QCOMPARE(window->HomeNode->childCount(), 2);
    QCOMPARE(window->HomeNode->child(0)->text(0), QStringLiteral("10.0.0.1:22"));
    QCOMPARE(window->HomeNode->child(1)->text(0), QStringLiteral("10.0.0.2:2222"));
    QVERIFY(window->HomeNode->isExpanded());
    QVERIFY(window->tvHosts->selectedItems().isEmpty());
    QCOMPARE(Logins(*window), QStringList({"alice", "bob", "carol", "dave"}));
    QCOMPARE(window->plTitle->text(), QStringLiteral(" All users on all hosts "));
    QVERIFY(!window->actUserAdd->isEnabled());
    QVERIFY(!window->actHostEdit->isEnabled());
    // No saved layout: every column 120 pixels, not the layout widths.
    for (int column = 0; column < TUserListModel::ColumnCount; ++column)
        QCOMPARE(window->lvUsers->columnWidth(column), 120);
    QCOMPARE(window->pos().y(), -1);
    QTRY_COMPARE(window->stCountLabel->text(), QStringLiteral(" 4 Users,"));
    QCOMPARE(window->stCountValue->text(), QStringLiteral(" 0 Selected."));
    // The progress reports a batch forwards reach the status pane.
    Ui().setStatusText(QStringLiteral("Connect to 10.0.0.1:22"));
    QCOMPARE(window->pnlStatus->text(), QStringLiteral("Connect to 10.0.0.1:22"));
}

void TestMainWindow::commandKeys_data()
{
    QTest::addColumn<bool>("hostSelected");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("opened"); // caption of the dialog opened, or "batch:N", or "" for nothing

    QTest::newRow("Alt+N with Home does nothing") << false << int(Qt::Key_N) << int(Qt::AltModifier) << "";
    QTest::newRow("Ctrl+M with Home does nothing") << false << int(Qt::Key_M) << int(Qt::ControlModifier) << "";
    QTest::newRow("Alt+N with a host adds a user")
        << true << int(Qt::Key_N) << int(Qt::AltModifier) << "Add User - 10.0.0.1:22";
    QTest::newRow("Ctrl+H adds a host") << false << int(Qt::Key_H) << int(Qt::ControlModifier) << "Add Host";
    QTest::newRow("hidden Ctrl+F does nothing") << true << int(Qt::Key_F) << int(Qt::ControlModifier) << "";
    QTest::newRow("hidden F6 sends the notice mail") << true << int(Qt::Key_F6) << 0 << "batch:3";
    QTest::newRow("F2 tests the login") << true << int(Qt::Key_F2) << 0 << "batch:1";
    QTest::newRow("F5 changes the password") << true << int(Qt::Key_F5) << 0 << "batch:2";
    QTest::newRow("F7 verifies the password") << true << int(Qt::Key_F7) << 0 << "batch:4";
    QTest::newRow("F12 opens the about box") << false << int(Qt::Key_F12) << 0 << "About ";
    QTest::newRow("Ctrl+O opens the options") << false << int(Qt::Key_O) << int(Qt::ControlModifier) << "Options";
}

void TestMainWindow::commandKeys()
{
    QFETCH(bool, hostSelected);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, opened);

    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QString seen;
    window->SetBatchWindow([&seen](TOperationType type, TOperationOptions, const QList<TUser>& users) {
        seen = QStringLiteral("batch:") + QString::number(type);
        return users;
    });
    ModalDriver driver([&seen](QDialog& dialog) {
        seen = dialog.windowTitle();
        dialog.reject();
    });
    QVERIFY(ShowActive(*window));
    if (hostSelected)
        window->tvHosts->setCurrentItem(window->HomeNode->child(0));
    window->lvUsers->SelectRow(0);
    window->lvUsers->setFocus();

    QTest::keyClick(window->lvUsers, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(seen, opened);
    // A key that was a command never opens a menu of the menu bar.
    QVERIFY(!QApplication::activePopupWidget());
}

void TestMainWindow::everyMenuMnemonicOpensItsMenu()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));

    QSet<QKeySequence> commandKeys;
    for (QAction* command : window->findChildren<QAction*>(QRegularExpression(QStringLiteral("^act")))) {
        if (command->shortcut().isEmpty())
            continue;
        QVERIFY2(!commandKeys.contains(command->shortcut()), qPrintable(command->shortcut().toString()));
        commandKeys.insert(command->shortcut());
    }
    QSet<QKeySequence> mnemonics;
    for (QAction* entry : window->menuBar()->actions()) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(entry->text());
        QVERIFY2(!mnemonic.isEmpty(), qPrintable(entry->text()));
        QVERIFY2(!commandKeys.contains(mnemonic), qPrintable(entry->text()));
        QVERIFY2(!mnemonics.contains(mnemonic), qPrintable(entry->text()));
        mnemonics.insert(mnemonic);

        // Also while the command that once had the key is disabled (Add User with Home chosen).
        window->lvUsers->setFocus();
        QTest::keyClick(window->lvUsers, mnemonic[0].key(), mnemonic[0].keyboardModifiers());
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(entry->menu()));
        entry->menu()->close();
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }
    QVERIFY(!window->actUserAdd->isEnabled());
}

void TestMainWindow::menusAndToolbarFollowTheCommands()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    const auto entry = [&](const QString& caption) -> QAction* {
        for (QAction* menu : window->menuBar()->actions())
            for (QAction* item : menu->menu()->actions())
                if (item->text().startsWith(caption))
                    return item;
        return nullptr;
    };
    const auto button = [&](const char* name) {
        return window->findChild<QToolButton*>(QLatin1String(name));
    };

    // Hidden commands show nowhere, nor does the button without a command.
    QVERIFY(!entry(QStringLiteral("Send Notice Mail"))->isVisible());
    QVERIFY(!entry(QStringLiteral("&Find Users"))->isVisible());
    QVERIFY(!button("btnSendMail")->isVisible());
    QVERIFY(!button("btnFindUser")->isVisible());
    QVERIFY(!button("RzToolButton10")->isVisible());
    QVERIFY(button("btnTest")->isVisible());
    QVERIFY(button("btnVerify")->isVisible());
    QCOMPARE(entry(QStringLiteral("&Change password"))->shortcut(), QKeySequence(QStringLiteral("F5")));
    QCOMPARE(entry(QStringLiteral("&Verify Password"))->shortcut(), QKeySequence(QStringLiteral("F7")));

    // Add User and Modify Host are greyed for Home, in the menu and on the toolbar alike.
    for (bool hostChosen : {false, true}) {
        window->tvHosts->setCurrentItem(hostChosen ? window->HomeNode->child(0) : window->HomeNode);
        QCOMPARE(entry(QStringLiteral("&Add User"))->isEnabled(), hostChosen);
        QCOMPARE(entry(QStringLiteral("Modify Host"))->isEnabled(), hostChosen);
        QCOMPARE(button("btnUserAdd")->isEnabled(), hostChosen);
        QCOMPARE(button("btnHostEdit")->isEnabled(), hostChosen);
    }
}

void TestMainWindow::hostSelectionSetsTitleAndCommands_data()
{
    QTest::addColumn<int>("hostIndex"); // -1: Home
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("logins");

    QTest::newRow("Home") << -1 << " All users on all hosts " << QStringList({"alice", "bob", "carol", "dave"});
    QTest::newRow("host with description")
        << 0 << " Users on [10.0.0.1] - web servers" << QStringList({"alice", "bob", "carol"});
    QTest::newRow("host without description") << 1 << " Users on [10.0.0.2] " << QStringList({"dave"});
}

void TestMainWindow::hostSelectionSetsTitleAndCommands()
{
    QFETCH(int, hostIndex);
    QFETCH(QString, title);
    QFETCH(QStringList, logins);

    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    window->tvHosts->setCurrentItem(window->HomeNode->child(1));
    window->tvHosts->setCurrentItem(hostIndex < 0 ? window->HomeNode : window->HomeNode->child(hostIndex));

    QCOMPARE(window->plTitle->text(), title);
    QCOMPARE(Logins(*window), logins);
    QCOMPARE(window->actUserAdd->isEnabled(), hostIndex >= 0);
    QCOMPARE(window->actHostEdit->isEnabled(), hostIndex >= 0);
}

void TestMainWindow::modifyHostActsOnLastMousePress()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    QTreeWidgetItem* first = window->HomeNode->child(0);
    QTest::mouseClick(window->tvHosts->viewport(), Qt::LeftButton, Qt::NoModifier, CentreOf(*window, first));
    QCOMPARE(window->tvHosts->SelectedNode(), first);
    QTest::keyClick(window->tvHosts, Qt::Key_Down);
    QCOMPARE(window->tvHosts->SelectedNode(), window->HomeNode->child(1));
    // A right press (as for the pop-up menu) points at a host without choosing it.
    QTest::mouseClick(window->tvHosts->viewport(), Qt::RightButton, Qt::NoModifier, CentreOf(*window, first));
    QCOMPARE(window->tvHosts->SelectedNode(), window->HomeNode->child(1));

    QString caption, address;
    ModalDriver driver([&](QDialog& dialog) {
        auto& editor = dynamic_cast<TfrmHostEdit&>(dialog);
        caption = editor.windowTitle();
        address = editor.edtName->text();
        editor.edtName->setText(QStringLiteral("10.0.0.9"));
        editor.edtNote->setPlainText(QStringLiteral("renamed"));
        editor.btnSave->click();
    });
    QTest::keyClick(window->tvHosts, Qt::Key_M, Qt::ControlModifier);

    QCOMPARE(caption, QStringLiteral("Host Editing"));
    QCOMPARE(address, QStringLiteral("10.0.0.1"));
    QCOMPARE(first->text(0), QStringLiteral("10.0.0.9:22"));
    QCOMPARE(window->HostOfNode(static_cast<THostNode*>(first)).hNote, QStringLiteral("renamed"));
    QCOMPARE(HostRows(window->dm()), QStringList({"1|10.0.0.9|renamed", "2|10.0.0.2|"}));
    // The list still shows the selected host's users, so Delete Host judges the right host.
    QCOMPARE(window->plTitle->text(), QStringLiteral(" Users on [10.0.0.2] "));
    QCOMPARE(Logins(*window), QStringList({"dave"}));
}

void TestMainWindow::modifyHostBeforeAnyMousePressEditsCurrent()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    window->tvHosts->setFocus();
    window->tvHosts->setCurrentItem(window->HomeNode->child(1));
    QVERIFY(window->actHostEdit->isEnabled());

    QString caption, address;
    ModalDriver driver([&](QDialog& dialog) {
        caption = dialog.windowTitle();
        address = dynamic_cast<TfrmHostEdit&>(dialog).edtName->text();
        dialog.reject();
    });
    QTest::keyClick(window->tvHosts, Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(caption, QStringLiteral("Host Editing"));
    QCOMPARE(address, QStringLiteral("10.0.0.2"));
}

void TestMainWindow::modifyHostAfterArrowsEditsCurrent()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    QTreeWidgetItem* first = window->HomeNode->child(0);
    QTest::mouseClick(window->tvHosts->viewport(), Qt::LeftButton, Qt::NoModifier, CentreOf(*window, first));
    QTest::keyClick(window->tvHosts, Qt::Key_Down);

    QStringList addresses;
    ModalDriver driver([&](QDialog& dialog) {
        addresses << dynamic_cast<TfrmHostEdit&>(dialog).edtName->text();
        dialog.reject();
    });
    QTest::keyClick(window->tvHosts, Qt::Key_M, Qt::ControlModifier);
    // Back up with the keys, then a double click on the second host: the mouse point counts again.
    QTest::keyClick(window->tvHosts, Qt::Key_Up);
    QTest::keyClick(window->tvHosts, Qt::Key_M, Qt::ControlModifier);
    QTest::mouseDClick(window->tvHosts->viewport(), Qt::LeftButton, Qt::NoModifier,
                       CentreOf(*window, window->HomeNode->child(1)));
    QCOMPARE(addresses, QStringList({"10.0.0.2", "10.0.0.1", "10.0.0.2"}));
}

void TestMainWindow::doubleClickOpensEditor_data()
{
    QTest::addColumn<QString>("target"); // node text, or "" for the empty space below the nodes
    QTest::addColumn<QString>("caption");

    QTest::newRow("Home") << "Home"
                          << "Add Host";
    QTest::newRow("empty space") << ""
                                 << "Add Host";
    QTest::newRow("host") << "10.0.0.2:2222"
                          << "Host Editing";
}

void TestMainWindow::doubleClickOpensEditor()
{
    QFETCH(QString, target);
    QFETCH(QString, caption);

    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    QString opened;
    ModalDriver driver([&opened](QDialog& dialog) {
        opened = dialog.windowTitle();
        dialog.reject();
    });
    const QPoint point = target.isEmpty() ? QPoint(20, window->tvHosts->viewport()->height() - 5)
                                          : CentreOf(*window, NodeNamed(*window, target));
    QTest::mouseDClick(window->tvHosts->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(opened, caption);
}

void TestMainWindow::treeNeverCollapses()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    ModalDriver driver([](QDialog& dialog) { dialog.reject(); });
    const QPoint home = CentreOf(*window, window->HomeNode);
    QTest::mouseDClick(window->tvHosts->viewport(), Qt::LeftButton, Qt::NoModifier, home);
    QVERIFY(window->HomeNode->isExpanded());
    window->tvHosts->setCurrentItem(window->HomeNode);
    QTest::keyClick(window->tvHosts, Qt::Key_Left);
    QVERIFY(window->HomeNode->isExpanded());
    window->tvHosts->collapseItem(window->HomeNode);
    QVERIFY(window->HomeNode->isExpanded());
}

void TestMainWindow::addedHostIsNumberedAfterHighest()
{
    GuiServices gui;
    Installation install(TwoHosts, {});
    auto window = install.Open();
    QString address = QStringLiteral("10.0.0.3");
    ModalDriver driver([&address](QDialog& dialog) {
        auto& editor = dynamic_cast<TfrmHostEdit&>(dialog);
        editor.edtName->setText(address);
        editor.cbbLoginAs->setCurrentIndex(editor.cbbLoginAs->findData(TfrmHostEdit::UsersAccountValue));
        editor.btnSave->click();
    });

    window->actHostAdd->trigger();
    THostNode* added = NodeNamed(*window, QStringLiteral("10.0.0.3:22"));
    QVERIFY(added);
    QCOMPARE(window->tvHosts->SelectedNode(), added);
    QCOMPARE(window->HostOfNode(added).hID, 3);
    QCOMPARE(window->plTitle->text(), QStringLiteral(" Users on [10.0.0.3] "));

    // Deleting the highest number gives it out again.
    GuiUiServices::setNextAnswer(ButtonYes);
    window->actHostDel->trigger();
    QVERIFY(!NodeNamed(*window, QStringLiteral("10.0.0.3:22")));
    address = QStringLiteral("10.0.0.4");
    window->actHostAdd->trigger();
    QCOMPARE(window->HostOfNode(NodeNamed(*window, QStringLiteral("10.0.0.4:22"))).hID, 3);
}

void TestMainWindow::nothingShownThatWasNotStored()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    for (const char* table : {"Hosts", "Users"}) {
        auto query = window->dm().NewQuery();
        query->SelectSQL = QStringLiteral("create trigger refuse_%1 before insert on %1 begin select raise(abort, "
                                          "'disk full'); end")
                               .arg(QLatin1String(table));
        QVERIFY(window->dm().OpenQuery(*query));
    }
    ModalDriver driver([](QDialog& dialog) {
        if (auto* host = qobject_cast<TfrmHostEdit*>(&dialog)) {
            host->edtName->setText(QStringLiteral("10.0.0.7"));
            host->cbbLoginAs->setCurrentIndex(host->cbbLoginAs->findData(TfrmHostEdit::UsersAccountValue));
            host->btnSave->click();
        } else if (auto* user = qobject_cast<TfrmUserEdit*>(&dialog)) {
            user->edtLogin->setText(QStringLiteral("erin"));
            user->edtOldPwd->setText(QStringLiteral("secret"));
            user->btnSave->click();
        } else {
            dialog.reject(); // the "Operation Error" report
        }
    });

    window->actHostAdd->trigger();
    QCOMPARE(window->HomeNode->childCount(), 2);
    window->tvHosts->setCurrentItem(window->HomeNode->child(1));
    window->actUserAdd->trigger();
    QCOMPARE(Logins(*window), QStringList({"dave"}));
}

void TestMainWindow::deleteHost_data()
{
    QTest::addColumn<int>("hostIndex"); // -1: Home
    QTest::addColumn<int>("answer");    // 0: no question expected
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("hostsLeft");

    QTest::newRow("Home selected: nothing") << -1 << 0 << QStringList() << 2;
    QTest::newRow("host with users refused") << 0 << 0 << QStringList({"Users exists, can not delete!"}) << 2;
    QTest::newRow("declined") << 1 << int(ButtonNo) << QStringList({"Are you sure to delete this host?"}) << 2;
    QTest::newRow("confirmed") << 1 << int(ButtonYes) << QStringList({"Are you sure to delete this host?"}) << 1;
}

void TestMainWindow::deleteHost()
{
    QFETCH(int, hostIndex);
    QFETCH(int, answer);
    QFETCH(QStringList, messages);
    QFETCH(int, hostsLeft);

    GuiServices gui;
    Installation install(TwoHosts, FourUsers.mid(0, 3)); // the second host has no users
    auto window = install.Open();
    window->tvHosts->setCurrentItem(hostIndex < 0 ? window->HomeNode : window->HomeNode->child(hostIndex));
    if (answer)
        GuiUiServices::setNextAnswer(answer);

    window->actHostDel->trigger();
    QCOMPARE(GuiServices::Messages(), messages);
    QCOMPARE(HostCount(window->dm()), hostsLeft);
    QCOMPARE(window->HomeNode->childCount(), hostsLeft);
    // Whatever is selected afterwards, the list shows that node's users.
    const bool emptyHostSelected = window->tvHosts->SelectedNode() == window->HomeNode->child(1);
    QCOMPARE(window->lvUsers->Model().rowCount(), emptyHostSelected ? 0 : 3);
}

void TestMainWindow::helpWebAndFeedbackOpenTheirTargets()
{
    GuiServices gui;
    Installation install({}, {});
    auto window = install.Open();
    QList<QUrl> opened;
    SetExternalOpener([&opened](const QUrl& url) { opened << url; });
    window->actHelp->trigger();
    window->actHomePage->trigger();
    window->actSupport->trigger();
    SetExternalOpener({});

    // Help opens the manual in the program's own help window; the other two go to the desktop.
    QVERIFY(window->findChild<THelpWindow*>());
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened[0].scheme(), QStringLiteral("https"));
    QCOMPARE(opened[1].toString(), QStringLiteral("mailto:") + SupportAddress);
}

void TestMainWindow::helpAddressesComeFromTheSettingsFile()
{
    GuiServices gui;
    Installation install({}, {});
    auto window = install.Open();
    const IniFile& ini = window->dm().OptionsFile.ini();
    const QString about = TOptionsFile::AboutSection;
    QList<QUrl> opened;
    SetExternalOpener([&opened](const QUrl& url) { opened << url; });
    const auto openAll = [&] {
        opened.clear();
        window->actHomePage->trigger();
        window->actSupport->trigger();
        TfrmLogin login(window->dm());
        login.RzURLLabel1Click();
        if (opened.size() != 3)
            return QStringList();
        return QStringList({opened[0].toString(), opened[1].toString(), opened[2].path()});
    };

    ini.writeString(about, QStringLiteral("SupportAddress"), QStringLiteral(" help@corp.example "));
    ini.writeString(about, QStringLiteral("HomePage"), QStringLiteral("https://intranet.corp.example/veltrane"));
    QCOMPARE(openAll(),
             QStringList({"https://intranet.corp.example/veltrane", "mailto:help@corp.example", "help@corp.example"}));
    ini.writeString(about, QStringLiteral("FeedbackAddress"), QStringLiteral("ideas@corp.example"));
    QCOMPARE(openAll()[1], QStringLiteral("mailto:ideas@corp.example"));

    // Values that would add to the mail or open something else fall back to the defaults.
    ini.writeString(about, QStringLiteral("SupportAddress"), QStringLiteral("help@corp.example?body=hi"));
    ini.writeString(about, QStringLiteral("FeedbackAddress"), QStringLiteral("ideas corp"));
    ini.writeString(about, QStringLiteral("HomePage"), QStringLiteral("file:///etc/passwd"));
    QCOMPARE(openAll(),
             QStringList({TOptionsFile::DefaultHomePage, QStringLiteral("mailto:") + SupportAddress, SupportAddress}));
    SetExternalOpener({});
}

void TestMainWindow::aboutShowsVersion()
{
    GuiServices gui;
    Installation install({}, {});
    auto window = install.Open();
    QString caption, title, version;
    ModalDriver driver([&](QDialog& dialog) {
        auto& about = dynamic_cast<TfrmAbout&>(dialog);
        caption = about.windowTitle();
        title = about.lbTitle->text();
        version = about.lbVersion->text();
        about.btnClose->click();
    });
    window->actAbout->trigger();
    QCOMPARE(caption, QStringLiteral("About "));
    QCOMPARE(title, QStringLiteral("Veltrane"));
    QVERIFY2(version.endsWith(QStringLiteral(" 2.02")), qPrintable(version));
}

void TestMainWindow::columnWidthsKeptAcrossRestart()
{
    GuiServices gui;
    Installation install({}, {});
    {
        auto window = install.Open();
        for (int column = 0; column < TUserListModel::ColumnCount; ++column)
            window->lvUsers->setColumnWidth(column, 50 + 10 * column);
        // Nothing is written before the window goes.
        QVERIFY(!QSettings(install.OptionsPath(), QSettings::IniFormat).childGroups().contains("frmMain-lvUsers"));
    }
    QSettings written(install.OptionsPath(), QSettings::IniFormat);
    QCOMPARE(written.value(QStringLiteral("frmMain-lvUsers/6")).toInt(), 110);
    auto reopened = install.Open();
    for (int column = 0; column < TUserListModel::ColumnCount; ++column)
        QCOMPARE(reopened->lvUsers->columnWidth(column), 50 + 10 * column);
}

void TestMainWindow::unreadableUserTableStillOpensTheWindow()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    {
        TDBSession session;
        QVERIFY(session.OpenDatabase(install.env.databasePath(), true));
        // A Users table from another program: every column but LastLog.
        session.Execute(QStringLiteral("alter table Users rename to Kept;"));
        session.Execute(QStringLiteral("create table Users as select uID, hID, LoginName, pwNow, pwPeriod, RecTime, "
                                       "pwLastTime, uRemark, pwNew, uName, Email from Kept;"));
    }
    auto window = install.Open();

    const QStringList messages = GuiServices::Messages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(QStringLiteral("LastLog")), qPrintable(messages[0]));
    QCOMPARE(window->HomeNode->childCount(), 2); // the hosts were read before the failing users
    QVERIFY(window->lvUsers->updatesEnabled());
}

void TestMainWindow::onlyAPlainLeftPressChoosesAHost()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    auto window = install.Open();
    QVERIFY(ShowActive(*window));
    QTreeWidgetItem* first = window->HomeNode->child(0);
    QTreeWidgetItem* second = window->HomeNode->child(1);
    QTest::mouseClick(window->tvHosts->viewport(), Qt::LeftButton, Qt::NoModifier, CentreOf(*window, first));
    QCOMPARE(window->tvHosts->SelectedNode(), first);
    window->lvUsers->Model().SetChecked(1, true);

    // A right press (as for a pop-up menu) and a Ctrl+click keep the host, its list and the checks.
    QTest::mouseClick(window->tvHosts->viewport(), Qt::RightButton, Qt::NoModifier, CentreOf(*window, second));
    QTest::mouseClick(window->tvHosts->viewport(), Qt::LeftButton, Qt::ControlModifier, CentreOf(*window, first));
    QCOMPARE(window->tvHosts->SelectedNode(), first);
    QCOMPARE(Logins(*window), QStringList({"alice", "bob", "carol"}));
    QVERIFY(window->lvUsers->Model().IsChecked(1));
    // Modify Host still acts on the node under the last press.
    QCOMPARE(window->tvHosts->NodeAt(window->tvHosts->LastMousePress()), first);
}

void TestMainWindow::settingsThatCannotBeWrittenAtExitAreReported()
{
    GuiServices gui;
    Installation install(TwoHosts, FourUsers);
    // A folder where Options.ini should be: it reads as defaults and cannot be written.
    QVERIFY(QDir().mkpath(install.OptionsPath()));
    {
        auto window = install.Open();
    } // the column widths are written here
    QVERIFY2(!GuiServices::Messages().isEmpty() && GuiServices::Messages().last().contains(install.OptionsPath()),
             qPrintable(GuiServices::Messages().join(QLatin1Char('|'))));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
