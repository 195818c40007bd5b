// The text viewer: line breaks, Copy, caption; and the dialog base's placement and modal hook.
#include "batch/TfrmRunLog.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>

class TestRunLog : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void lineBreaks_data();
    void lineBreaks();
    void copyPutsTheWholeTextWithCrLf();
    void showRunLogUsesTheCaptionAsGiven();
    void closeButtonCloses();
    void centresOverTheMainWindow();

private:
    static QStringList Lines(const QPlainTextEdit& memo);
};

QStringList TestRunLog::Lines(const QPlainTextEdit& memo)
{
    QStringList lines;
    for (QTextBlock block = memo.document()->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

void TestRunLog::cleanup()
{
    TfrmBase::SetModalHook({});
    TfrmBase::SetMainWindow(nullptr);
}

void TestRunLog::lineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("copied");
    QTest::newRow("lone CR") << "a\rb" << QStringList{"a", "b"} << "a\r\nb";
    QTest::newRow("lone LF") << "a\nb" << QStringList{"a", "b"} << "a\r\nb";
    QTest::newRow("CR LF is one break") << "a\r\nb" << QStringList{"a", "b"} << "a\r\nb";
    QTest::newRow("LF CR is two") << "a\n\rb" << QStringList{"a", "", "b"} << "a\r\n\r\nb";
    QTest::newRow("history block ends in CR CR") << "x\r\ny\r\r" << QStringList{"x", "y", "", ""} << "x\r\ny\r\n\r\n";
    QTest::newRow("empty") << "" << QStringList{""} << "";
    QTest::newRow("tabs and special spaces kept")
        << QString::fromUtf8("a\tb\u00a0c") << QStringList{} << QString::fromUtf8("a\tb\u00a0c");
}

void TestRunLog::lineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QFETCH(QString, copied);
    TfrmRunLog viewer;
    viewer.SetText(text);
    if (!lines.isEmpty())
        QCOMPARE(Lines(*viewer.moInfo), lines);
    QCOMPARE(viewer.TextWithCrLf(), copied);
}

void TestRunLog::copyPutsTheWholeTextWithCrLf()
{
    QStringList many;
    for (int i = 0; i < 500; ++i)
        many.append(QStringLiteral("line %1 with 'quote'").arg(i));
    const QString text = many.join(QLatin1Char('\r')) + QStringLiteral("\r\r");

    TfrmRunLog viewer;
    viewer.SetText(text);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QApplication::clipboard()->clear();
    QTest::mouseClick(viewer.RzBitBtn1, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), many.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n"));
    QVERIFY(viewer.isVisible()); // the viewer stays open
    QCOMPARE(viewer.moInfo->textCursor().selectedText().size(), viewer.moInfo->toPlainText().size());

    // Enter on the focused Copy button copies too, rather than pressing the default Close.
    QApplication::clipboard()->clear();
    viewer.activateWindow();
    viewer.RzBitBtn1->setFocus();
    QTest::keyClick(viewer.RzBitBtn1, Qt::Key_Return);
    QVERIFY(viewer.isVisible());
    QVERIFY(!QApplication::clipboard()->text().isEmpty());
}

void TestRunLog::showRunLogUsesTheCaptionAsGiven()
{
    QString caption;
    QStringList lines;
    bool readOnly = false;
    QSize client;
    TfrmBase::SetModalHook([&](QDialog& dialog) {
        auto& viewer = dynamic_cast<TfrmRunLog&>(dialog);
        caption = viewer.windowTitle();
        lines = Lines(*viewer.moInfo);
        readOnly = viewer.moInfo->isReadOnly();
        client = viewer.size();
    });
    ShowRunLog(QStringLiteral("one\rtwo"), QStringLiteral("Test Login - Log"));
    QCOMPARE(caption, QStringLiteral("Test Login - Log"));
    QCOMPARE(lines, (QStringList{"one", "two"}));
    QVERIFY(readOnly);
    QCOMPARE(client, QSize(431, 368));
}

void TestRunLog::closeButtonCloses()
{
    int result = -1;
    bool stillOpen = true;
    TfrmBase::SetModalHook([&](QDialog& dialog) {
        auto& viewer = dynamic_cast<TfrmRunLog&>(dialog);
        QCOMPARE(viewer.RzBitBtn2->text(), QStringLiteral("&Close"));
        QCOMPARE(viewer.RzBitBtn1->text(), QStringLiteral("C&opy"));
        QVERIFY(viewer.RzBitBtn1->x() < viewer.RzBitBtn2->x());
        viewer.RzBitBtn2->click();
        stillOpen = viewer.isVisible();
    });
    TfrmRunLog viewer;
    result = viewer.ShowModal();
    QVERIFY(!stillOpen);
    QCOMPARE(result, int(QDialog::Rejected));
}

void TestRunLog::centresOverTheMainWindow()
{
    QWidget main;
    main.setGeometry(100, 80, 600, 500);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    TfrmBase::SetMainWindow(&main);

    QRect placed;
    QFont font;
    TfrmBase::SetModalHook([&](QDialog& dialog) {
        placed = dialog.frameGeometry();
        font = dialog.font();
    });
    ShowRunLog(QString(), QStringLiteral("Operation Error"));
    QCOMPARE(placed.center(), main.frameGeometry().center());
    QCOMPARE(font.pointSize(), 8);

    // A main window partly off the top-left of the screen does not push the dialog's title out of reach.
    main.move(-500, -400);
    ShowRunLog(QString(), QStringLiteral("Operation Error"));
    QVERIFY(placed.x() >= 0);
    QVERIFY(placed.y() >= 0);
}

QTEST_MAIN(TestRunLog)
#include "tst_runlog.moc"
