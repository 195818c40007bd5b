// The manual behind F1, driven offscreen on the build tree's copy of the manual: F1 opens the page of
// the window it is pressed in, a missing manual says where it was looked for, and the help window's
// contents, history and search work on the real pages.

#include "tests/gui/MainWindowTestSupport.h"
#include "ui/HelpTopics.h"
#include "ui/THelpKey.h"
#include "ui/THelpWindow.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>

using namespace MainWindowTest;

namespace {

QString BuildManual()
{
    return qEnvironmentVariable("VELTRANE_BINARY_DIR") + QStringLiteral("/bin/manual");
}

/// What a help window shows: its page's file name and anchor, and the page's title.
QString Shown(const THelpWindow* help)
{
    if (!help)
        return QStringLiteral("<no help window>");
    const QUrl page = help->CurrentPage();
    const QString file = QFileInfo(page.path()).fileName();
    return (page.hasFragment() ? file + QLatin1Char('#') + page.fragment() : file) + QStringLiteral(" | ") +
           help->brwPage->documentTitle();
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void init() { HelpTopics::SetManualDir(BuildManual()); }
    void cleanup() { HelpTopics::SetManualDir(QString()); }

    void f1OpensThePageOfTheWindowItIsPressedIn_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("main window") << QString() << "index.html | Veltrane user manual";
        QTest::newRow("host editor") << "actHostAdd"
                                     << "hosts.html#host-editor | Hosts and the host editor";
        QTest::newRow("options dialog") << "actOption"
                                        << "options.html | The options dialog";
    }
    void f1OpensThePageOfTheWindowItIsPressedIn()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        GuiServices gui;
        const THelpKey helpKey;
        Installation install({}, {});
        auto window = install.Open();
        QVERIFY(ShowActive(*window));

        QString shown = QStringLiteral("<F1 not pressed>");
        if (command.isEmpty()) {
            QTest::keyClick(window.get(), Qt::Key_F1);
            shown = Shown(window->findChild<THelpWindow*>());
        } else {
            // The help belongs to the dialog, so it is read while the dialog is up.
            ModalDriver driver([&shown](QDialog& dialog) {
                QWidget* focus = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
                QTest::keyClick(focus, Qt::Key_F1);
                auto* help = dialog.findChild<THelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
                shown = Shown(help);
                dialog.reject();
            });
            window->findChild<QAction*>(command)->trigger();
        }
        QCOMPARE(shown, expected);
    }

    void missingManualSaysWhereItWasLookedFor()
    {
        GuiServices gui;
        QTemporaryDir empty;
        HelpTopics::SetManualDir(empty.path());
        Installation install({}, {});
        auto window = install.Open();
        window->actHelp->trigger();

        const auto* help = window->findChild<THelpWindow*>();
        QVERIFY(help);
        QVERIFY(help->CurrentPage().isEmpty());
        const QString text = help->brwPage->toPlainText();
        QVERIFY2(text.contains(empty.path() + QStringLiteral("/index.html")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("apt install --reinstall veltrane")), qPrintable(text));
    }

    void contentsHistoryAndSearchWorkOnTheManual()
    {
        QWidget owner;
        THelpWindow* help = THelpWindow::Open(owner, HelpTopics::StartPage);

        // The contents are the start page's list, every entry a page of the manual.
        QVERIFY2(help->lstContents->count() >= 12, qPrintable(QString::number(help->lstContents->count())));
        QListWidgetItem* troubleshooting =
            help->lstContents->findItems(QStringLiteral("Troubleshooting"), Qt::MatchExactly).value(0);
        QVERIFY(troubleshooting);
        emit help->lstContents->itemClicked(troubleshooting);
        QCOMPARE(Shown(help), QStringLiteral("troubleshooting.html | Troubleshooting"));
        QCOMPARE(help->lstContents->currentItem(), troubleshooting);

        QVERIFY(help->btnBack->isEnabled());
        help->btnBack->click();
        QCOMPARE(Shown(help), QStringLiteral("index.html | Veltrane user manual"));
        QVERIFY(help->btnForward->isEnabled());

        // Search goes round the end of the page and says when the text is not there.
        const QString word = QStringLiteral("password");
        const int occurrences = help->brwPage->toPlainText().count(word, Qt::CaseInsensitive);
        QVERIFY(occurrences >= 2);
        QList<int> starts;
        for (int i = 0; i <= occurrences; ++i) {
            QVERIFY(help->Find(word));
            starts << help->brwPage->textCursor().selectionStart();
        }
        QCOMPARE(starts.last(), starts.first());
        QVERIFY(help->Find(word, true));
        QCOMPARE(help->brwPage->textCursor().selectionStart(), starts[occurrences - 1]);
        QVERIFY(!help->Find(QStringLiteral("no such words in the manual")));
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
