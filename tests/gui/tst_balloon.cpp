// Balloons on real widgets: placement beside the control, closing rules, focus given back.
#include "ui/BallHint.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <memory>

class TestBalloon : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void placement_data();
    void placement();
    void keepsTheOpenerActive();
    void iconOfMessageBoxValue_data();
    void iconOfMessageBoxValue();
    void messageIsPlainText();
    void paintsEdgeAndColour();
    void dialogStyleSheetStaysOut();
    void timerClosesAndGivesFocusBack();
    void withoutTimerItStays();
    void clickOnBalloonCloses();
    void clickElsewhereClosesAndGoesOn();
    void typedCharacterClosesAndIsSwallowed();
    void nonCharacterKeyKeepsIt();
    void noFocusBackWhenNotAsked();
    void closeAllRemovesAtOnce();

private:
    // A dialog-like window at a screen position with two edits; the first is the balloon's anchor.
    void makeWindow(const QPoint& at, const QPoint& editAt);
    TBallHint* showOn(QWidget* control, int durationMs, int icon = 64, bool focusBack = true);

    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_edit = nullptr;
    QLineEdit* m_other = nullptr;
};

void TestBalloon::makeWindow(const QPoint& at, const QPoint& editAt)
{
    m_window = std::make_unique<QWidget>();
    m_window->setGeometry(QRect(at, QSize(320, 200)));
    m_edit = new QLineEdit(m_window.get());
    m_edit->setGeometry(QRect(editAt, QSize(120, 20)));
    m_other = new QLineEdit(m_window.get());
    m_other->setGeometry(editAt.x(), std::min(editAt.y() + 40, 170), 120, 20);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_other->setFocus();
}

TBallHint* TestBalloon::showOn(QWidget* control, int durationMs, int icon, bool focusBack)
{
    return ShowBalloonTip(control, QStringLiteral("Please input [hot address] "), 1, focusBack, durationMs, icon);
}

void TestBalloon::init()
{
    makeWindow(QPoint(300, 300), QPoint(150, 80));
}

void TestBalloon::cleanup()
{
    CloseAllBalloons();
    m_window.reset();
    BallTip().Duration = 0;
}

void TestBalloon::placement_data()
{
    QTest::addColumn<QPoint>("windowAt");
    QTest::addColumn<QPoint>("editAt");
    QTest::addColumn<int>("position");
    QTest::newRow("room above and left: above, to the left") << QPoint(300, 300) << QPoint(150, 80) << 0;
    QTest::newRow("near the top: below") << QPoint(300, 0) << QPoint(150, 10) << 2;
    QTest::newRow("near the left edge: above, to the right") << QPoint(0, 300) << QPoint(0, 80) << 1;
    QTest::newRow("top-left corner: below, to the right") << QPoint(0, 0) << QPoint(0, 10) << 3;
}

void TestBalloon::placement()
{
    QFETCH(QPoint, windowAt);
    QFETCH(QPoint, editAt);
    QFETCH(int, position);
    makeWindow(windowAt, editAt);
    TBallHint* balloon = showOn(m_edit, 0);
    QVERIFY(balloon->isVisible());
    QCOMPARE(balloon->Position(), position);

    const QRect edit(m_edit->mapToGlobal(QPoint(0, 0)), m_edit->size());
    const QRect window = balloon->geometry();
    QCOMPARE(window, balloon->placement().window);
    switch (position) {
    case 0: // tail tip on the edit's top-left corner, 20 pixels of the balloon right of it
        QCOMPARE(window.x() + window.width() - 20, edit.x());
        QCOMPARE(window.y() + window.height(), edit.y());
        break;
    case 1:
        QCOMPARE(window.x() + 20, edit.x() + edit.width());
        QCOMPARE(window.y() + window.height(), edit.y());
        break;
    case 2: // the tail points up at the edit's bottom edge
        QCOMPARE(window.x() + window.width() - 20, edit.x());
        QCOMPARE(window.y() + 2, edit.y() + edit.height());
        break;
    default:
        QCOMPARE(window.x() + 20, edit.x() + edit.width());
        QCOMPARE(window.y() + 2, edit.y() + edit.height());
        break;
    }
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(window.width() <= screen.width());
}

void TestBalloon::keepsTheOpenerActive()
{
    TBallHint* balloon = showOn(m_edit, 0);
    QTest::qWait(20);
    QVERIFY(balloon->isVisible());
    QCOMPARE(QApplication::activeWindow(), m_window.get());
    QVERIFY(m_other->hasFocus());
}

void TestBalloon::iconOfMessageBoxValue_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("resource");
    QTest::newRow("16 error") << 16 << "ERROR";
    QTest::newRow("48 warning") << 48 << "WARNING";
    QTest::newRow("64 information") << 64 << "INFO";
    QTest::newRow("other values: information") << 32 << "INFO";
}

void TestBalloon::iconOfMessageBoxValue()
{
    QFETCH(int, icon);
    QFETCH(QString, resource);
    TBallHint* balloon = showOn(m_edit, 0, icon);
    const Balloon::Content content = Balloon::ContentFromDescription(balloon->description());
    QCOMPARE(content.iconName, resource);
    QCOMPARE(content.title, QStringLiteral("Please input [hot address] "));
    QVERIFY(content.text.isEmpty());
    QVERIFY(content.maxWidth > 0);
    // The icon at (10, 13) and the message beside it at (34, 15).
    QCOMPARE(balloon->layout().icon, QRect(10, 13, 16, 16));
    QCOMPARE(balloon->layout().title.topLeft(), QPoint(34, 15));
}

void TestBalloon::messageIsPlainText()
{
    TBallHint* balloon = ShowBalloonTip(m_edit, QStringLiteral("<b>x</b> & y"), 1, true, 0, 16);
    bool found = false;
    for (QLabel* label : balloon->findChildren<QLabel*>())
        if (label->text() == QLatin1String("<b>x</b> & y")) {
            found = true;
            QCOMPARE(label->textFormat(), Qt::PlainText);
        }
    QVERIFY(found);
}

void TestBalloon::paintsEdgeAndColour()
{
    TBallHint* balloon = showOn(m_edit, 0);
    const QImage image = balloon->grab().toImage();
    const int middle = image.width() / 2;
    QCOMPARE(QColor(image.pixel(middle, 0)), QColor(Qt::black));
    QCOMPARE(QColor(image.pixel(middle, 10)), QColor(255, 255, 225));
    QCOMPARE(QColor(image.pixel(0, 20)), QColor(Qt::black));
}

void TestBalloon::dialogStyleSheetStaysOut()
{
    m_window->setStyleSheet(QStringLiteral("QWidget { font-size: 20pt; background: blue; color: white; }"));
    TBallHint* balloon = showOn(m_edit, 0);
    for (QLabel* label : balloon->findChildren<QLabel*>()) {
        QCOMPARE(label->font().pointSize(), 8);
        // The text measured for the layout is the text drawn: nothing is cut off.
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    }
    const QImage image = balloon->grab().toImage();
    QCOMPARE(QColor(image.pixel(image.width() / 2, 10)), QColor(255, 255, 225));
}

void TestBalloon::timerClosesAndGivesFocusBack()
{
    QPointer<TBallHint> balloon = showOn(m_edit, 150);
    QVERIFY(balloon->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(balloon.isNull(), 2000);
    QVERIFY(m_edit->hasFocus());
}

void TestBalloon::withoutTimerItStays()
{
    QPointer<TBallHint> balloon = showOn(m_edit, 0);
    QTest::qWait(300);
    QVERIFY(!balloon.isNull());
    QVERIFY(balloon->isVisible());
}

void TestBalloon::clickOnBalloonCloses()
{
    QPointer<TBallHint> balloon = showOn(m_edit, 0);
    QTest::mouseClick(balloon->mainPanel(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(balloon->isClosing());
    QTRY_VERIFY(balloon.isNull());
    QVERIFY(m_edit->hasFocus());
}

void TestBalloon::clickElsewhereClosesAndGoesOn()
{
    m_edit->setFocus();
    QPointer<TBallHint> balloon = showOn(m_edit, 0);
    QTest::mouseClick(m_other, Qt::LeftButton);
    QTRY_VERIFY(balloon.isNull());
    // The focus went back to the anchor, then the click moved it on as usual.
    QVERIFY(m_other->hasFocus());
}

void TestBalloon::typedCharacterClosesAndIsSwallowed()
{
    QPointer<TBallHint> balloon = showOn(m_edit, 0);
    QTest::keyClick(m_other, Qt::Key_A);
    QTRY_VERIFY(balloon.isNull());
    QVERIFY(m_other->text().isEmpty());
    QVERIFY(m_edit->text().isEmpty());
    QVERIFY(m_edit->hasFocus());
    QTest::keyClick(m_edit, Qt::Key_B);
    QCOMPARE(m_edit->text(), QStringLiteral("b"));
}

void TestBalloon::nonCharacterKeyKeepsIt()
{
    QPointer<TBallHint> balloon = showOn(m_edit, 0);
    QTest::keyClick(m_other, Qt::Key_Shift);
    QTest::keyClick(m_other, Qt::Key_Left);
    QTest::qWait(20);
    QVERIFY(!balloon.isNull());
    QVERIFY(!balloon->isClosing());
}

void TestBalloon::noFocusBackWhenNotAsked()
{
    QPointer<TBallHint> balloon = showOn(m_edit, 0, 64, false);
    balloon->CloseBalloon();
    QTRY_VERIFY(balloon.isNull());
    QVERIFY(m_other->hasFocus());

    // An anchor that takes no focus is pointed at but not focused.
    auto* label = new QLabel(QStringLiteral("Test"), m_window.get());
    label->setGeometry(10, 150, 40, 20);
    label->show();
    balloon = showOn(label, 0, 16);
    balloon->CloseBalloon();
    QTRY_VERIFY(balloon.isNull());
    QVERIFY(m_other->hasFocus());
}

void TestBalloon::closeAllRemovesAtOnce()
{
    QPointer<TBallHint> first = showOn(m_edit, 0);
    QPointer<TBallHint> second = showOn(m_other, 0, 16);
    QPointer<TBallHint> closing = showOn(m_edit, 0, 64, false);
    closing->CloseBalloon(); // released later, but still counted until then
    QCOMPARE(CloseAllBalloons(), 3);
    QVERIFY(first.isNull());
    QVERIFY(second.isNull());
    QVERIFY(closing.isNull());
    QVERIFY(m_other->hasFocus());
    QCOMPARE(CloseAllBalloons(), 0);
}

QTEST_MAIN(TestBalloon)
#include "tst_balloon.moc"
