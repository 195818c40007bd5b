// Balloon layout, placement and shape, checked on the pure geometry without a display.
#include "ui/BalloonGeometry.h"

#include <QTest>

using namespace Balloon;

namespace {

constexpr int kCharWidth = 6;
constexpr int kLineHeight = 13;

// A predictable stand-in for font metrics: every character 6 wide, lines 13 high, greedy wrapping
// at blanks, a word wider than the line on a line of its own.
QSize FakeMeasure(const QString& text, int width)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {kCharWidth, kLineHeight};
    int lines = 1;
    int line = 0;
    int widest = 0;
    for (const QString& word : words) {
        const int w = int(word.size()) * kCharWidth;
        if (line > 0 && line + kCharWidth + w > width) {
            ++lines;
            line = 0;
        }
        line += (line > 0 ? kCharWidth : 0) + w;
        widest = std::max(widest, line);
    }
    return {widest, lines * kLineHeight};
}

QSize TitleSize(const QString& title)
{
    return {int(title.size()) * kCharWidth, kLineHeight};
}

} // namespace

class TestBalloonGeometry : public QObject
{
    Q_OBJECT
private slots:
    void roomAroundAControl();
    void quadrantLimitsTakeTheLargestArea();
    void choosePosition_data();
    void choosePosition();
    void placement_data();
    void placement();
    void smallPanelStillHoldsTheTail();
    void shapeHasRoundedBodyAndTail();
    void panelLeavesOnePixelEdge();
    void edgeIsOnePixelWide();
    void descriptionRoundTrip();
    void layoutOfAValidationMessage();
    void layoutWithoutIconOrTitle();
    void layoutStaysWithinLimits_data();
    void layoutStaysWithinLimits();
};

void TestBalloonGeometry::roomAroundAControl()
{
    // An edit at (300, 200), 100 × 20, on an 800 × 600 screen.
    const Room room = RoomAround(Anchor::FromRect(QRect(300, 200, 100, 20)), QSize(800, 600));
    QCOMPARE(room.left, 310);
    QCOMPARE(room.up, 170);
    QCOMPARE(room.right, 410);
    QCOMPARE(room.down, 350);

    // Odd sizes: half sizes round toward zero.
    const Room odd = RoomAround(Anchor::FromRect(QRect(10, 40, 7, 5)), QSize(100, 100));
    QCOMPARE(odd.left, 10 + 3 - 3 + 10);
    QCOMPARE(odd.right, 100 - 13 - 3 + 10);
    QCOMPARE(odd.up, 42 - 2 - 30);

    const Room point = RoomAround(Anchor::FromPoint(QPoint(50, 60)), QSize(800, 600));
    QCOMPARE(point.left, 60);
    QCOMPARE(point.up, 30);
}

void TestBalloonGeometry::quadrantLimitsTakeTheLargestArea()
{
    QCOMPARE(QuadrantLimits({310, 170, 410, 350}), QSize(410, 350));
    QCOMPARE(QuadrantLimits({500, 400, 100, 100}), QSize(500, 400));
    // A control near the top: the up room is negative, the down quadrants win.
    QCOMPARE(QuadrantLimits({300, -20, 200, 500}), QSize(300, 500));
    // On a tie the first quadrant (left-up) wins.
    QCOMPARE(QuadrantLimits({100, 100, 100, 100}), QSize(100, 100));
    QCOMPARE(QuadrantLimits({100, 200, 100, 100}), QSize(100, 200));
}

void TestBalloonGeometry::choosePosition_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("up");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("down");
    QTest::addColumn<int>("preferred");
    QTest::addColumn<int>("expected");
    // The panel is 206 × 48 in every row.
    QTest::newRow("room everywhere: preferred") << 300 << 300 << 300 << 300 << 0 << 0;
    QTest::newRow("room everywhere: preferred 1") << 300 << 300 << 300 << 300 << 1 << 1;
    QTest::newRow("near top edge: below, left") << 300 << 10 << 300 << 300 << 0 << 2;
    QTest::newRow("near left edge: above, right") << 50 << 300 << 300 << 300 << 0 << 1;
    QTest::newRow("near top-left corner: below, right") << 50 << 10 << 300 << 300 << 0 << 3;
    QTest::newRow("cyclic after 3 comes 0") << 300 << 300 << 50 << 300 << 3 << 0;
    QTest::newRow("exact fit counts") << 206 << 48 << 0 << 0 << 0 << 0;
    QTest::newRow("nothing fits: largest quadrant right-down") << 100 << 20 << 150 << 40 << 0 << 3;
    QTest::newRow("nothing fits: largest quadrant left-down") << 150 << 20 << 100 << 40 << 1 << 2;
    QTest::newRow("nothing fits, all equal: left-up") << 40 << 40 << 40 << 40 << 2 << 0;
}

void TestBalloonGeometry::choosePosition()
{
    QFETCH(int, left);
    QFETCH(int, up);
    QFETCH(int, right);
    QFETCH(int, down);
    QFETCH(int, preferred);
    QFETCH(int, expected);
    QCOMPARE(ChoosePosition({left, up, right, down}, QSize(206, 48), preferred), expected);
}

void TestBalloonGeometry::placement_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QPoint>("tailTip");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("panel");
    // Anchor (300, 200)-(400, 220); panel 206 × 48: window 207 wide, 67 high above, 71 below.
    QTest::newRow("0 above left") << 0 << QPoint(300, 200) << QRect(113, 133, 207, 67) << QRect(0, 0, 206, 48);
    QTest::newRow("1 above right") << 1 << QPoint(400, 200) << QRect(380, 133, 207, 67) << QRect(0, 0, 206, 48);
    QTest::newRow("2 below left") << 2 << QPoint(300, 220) << QRect(113, 218, 207, 71) << QRect(0, 22, 206, 48);
    QTest::newRow("3 below right") << 3 << QPoint(400, 220) << QRect(380, 218, 207, 71) << QRect(0, 22, 206, 48);
}

void TestBalloonGeometry::placement()
{
    QFETCH(int, position);
    QFETCH(QPoint, tailTip);
    QFETCH(QRect, window);
    QFETCH(QRect, panel);
    const Placement p = PlaceBalloon(Anchor::FromRect(QRect(300, 200, 100, 20)), position, QSize(206, 48));
    QCOMPARE(p.position, position);
    QCOMPARE(p.tailTip, tailTip);
    QCOMPARE(p.window, window);
    QCOMPARE(p.panel, panel);
    // The tail's tip, in window coordinates, lands on the anchor corner.
    const QPolygon tail = TailPolygon(position, window.size());
    const QPoint tip = position < 2 ? tail.at(1) : tail.at(0);
    QCOMPARE(window.topLeft() + tip, tailTip);
}

void TestBalloonGeometry::smallPanelStillHoldsTheTail()
{
    const Placement above = PlaceBalloon(Anchor::FromPoint(QPoint(100, 100)), 0, QSize(5, 1));
    QCOMPARE(above.window.size(), QSize(41, 22));
    const Placement below = PlaceBalloon(Anchor::FromPoint(QPoint(100, 100)), 3, QSize(5, 1));
    QCOMPARE(below.window.size(), QSize(41, 24));
}

void TestBalloonGeometry::shapeHasRoundedBodyAndTail()
{
    const QSize window(207, 67);
    const QRegion above = BalloonRegion(0, window);
    QVERIFY(!above.contains(QPoint(0, 0))); // rounded corner
    QVERIFY(!above.contains(QPoint(1, 0)));
    QVERIFY(above.contains(QPoint(2, 0)));
    QVERIFY(above.contains(QPoint(0, 2)));
    QVERIFY(above.contains(QPoint(100, 48))); // last row of the body
    QVERIFY(!above.contains(QPoint(100, 49)));
    QVERIFY(above.contains(QPoint(185, 60))); // inside the tail, near its tip
    QVERIFY(!above.contains(QPoint(190, 60)));
    QVERIFY(!above.contains(QPoint(25, 60))); // no tail on the other side

    const QRegion below = BalloonRegion(3, QSize(207, 71));
    QVERIFY(!below.contains(QPoint(100, 21)));
    QVERIFY(below.contains(QPoint(100, 22)));
    QVERIFY(below.contains(QPoint(21, 8)));
    QVERIFY(!below.contains(QPoint(185, 8)));
}

void TestBalloonGeometry::panelLeavesOnePixelEdge()
{
    const QRegion panel = PanelRegion(QSize(206, 48));
    QVERIFY(!panel.contains(QPoint(0, 24)));
    QVERIFY(panel.contains(QPoint(1, 24)));
    QVERIFY(panel.contains(QPoint(205, 24)));
    QVERIFY(!panel.contains(QPoint(206, 24)));
    QVERIFY(!panel.contains(QPoint(100, 0)));
    QVERIFY(panel.contains(QPoint(100, 47)));
    QVERIFY(!panel.contains(QPoint(100, 48)));
}

void TestBalloonGeometry::edgeIsOnePixelWide()
{
    const QRegion square(QRect(0, 0, 10, 10));
    const QRegion edge = EdgeOfRegion(square);
    int pixels = 0;
    for (const QRect& r : edge)
        pixels += r.width() * r.height();
    QCOMPARE(pixels, 36);
    QVERIFY(!edge.contains(QPoint(5, 5)));

    // The black line runs along the tail as well as the body.
    const QRegion balloonEdge = EdgeOfRegion(BalloonRegion(0, QSize(207, 67)));
    const QRegion above = BalloonRegion(0, QSize(207, 67));
    int tailLeft = 150;
    while (!above.contains(QPoint(tailLeft, 60)))
        ++tailLeft;
    QVERIFY(balloonEdge.contains(QPoint(tailLeft, 60)));
    QVERIFY(!balloonEdge.contains(QPoint(tailLeft + 2, 60)));
    QVERIFY(balloonEdge.contains(QPoint(100, 0)));
    QVERIFY(!balloonEdge.contains(QPoint(100, 20)));
}

void TestBalloonGeometry::descriptionRoundTrip()
{
    QCOMPARE(DescribeContent(QStringLiteral("INFO"), QStringLiteral("x"), QString(), 0),
             QStringLiteral("'IconeResName=INFO';'Title=x';'Text=';'MainPanelBestWidth=0'"));

    const QString title = QStringLiteral("It's a;b=c ''quoted'' ");
    const QString text = QStringLiteral("line;with 'quotes'");
    const QString described = AppendLimits(DescribeContent(QStringLiteral("ERROR"), title, text, 120), QSize(300, 200));
    const Content content = ContentFromDescription(described);
    QCOMPARE(content.iconName, QStringLiteral("ERROR"));
    QCOMPARE(content.title, title);
    QCOMPARE(content.text, text);
    QCOMPARE(content.bestWidth, 120);
    QCOMPARE(content.maxWidth, 300);
    QCOMPARE(content.maxHeight, 200);
}

void TestBalloonGeometry::layoutOfAValidationMessage()
{
    // As the dialogs show it: icon, the message as title, no text, best width 0.
    Content content;
    content.iconName = QStringLiteral("INFO");
    content.title = QStringLiteral("Please input [hot address] ");
    content.maxWidth = 410;
    content.maxHeight = 350;
    const Layout layout = LayoutContent(content, QSize(16, 16), TitleSize(content.title), FakeMeasure);
    QCOMPARE(layout.icon, QRect(10, 13, 16, 16));
    QCOMPARE(layout.title.topLeft(), QPoint(34, 15));
    QCOMPARE(layout.text.top(), 37);
    QCOMPARE(layout.panel, QSize(34 + 162 + 10, 37 + 13 + 10 - 12));
    QVERIFY(!layout.scrolls);
}

void TestBalloonGeometry::layoutWithoutIconOrTitle()
{
    Content content;
    content.text = QStringLiteral("aaaa bbbb cccc dddd");
    content.bestWidth = 80; // 60 for the text: two words a line
    content.maxWidth = 400;
    content.maxHeight = 400;
    const Layout layout = LayoutContent(content, QSize(), QSize(), FakeMeasure);
    QVERIFY(layout.icon.isNull());
    QVERIFY(layout.title.isNull());
    QCOMPARE(layout.text, QRect(10, 10, 54, 26));
    QCOMPARE(layout.panel, QSize(74, 46 - 12));
}

void TestBalloonGeometry::layoutStaysWithinLimits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bestWidth");
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<bool>("scrolls");
    const QString words = QStringLiteral("word ").repeated(200);
    QTest::newRow("too wide: wraps narrower")
        << QStringLiteral("word ").repeated(30) << 600 << QSize(200, 400) << false;
    QTest::newRow("too high: scrolls") << words << 100 << QSize(200, 120) << true;
    QTest::newRow("one huge word: scrolls, no hang") << QString(300, QLatin1Char('x')) << 0 << QSize(150, 300) << true;
    QTest::newRow("tiny quadrant: no hang") << QStringLiteral("short") << 0 << QSize(5, 500) << true;
}

void TestBalloonGeometry::layoutStaysWithinLimits()
{
    QFETCH(QString, text);
    QFETCH(int, bestWidth);
    QFETCH(QSize, limits);
    QFETCH(bool, scrolls);
    Content content;
    content.iconName = QStringLiteral("WARNING");
    content.title = QStringLiteral("Title");
    content.text = text;
    content.bestWidth = bestWidth;
    content.maxWidth = limits.width();
    content.maxHeight = limits.height();
    const Layout layout = LayoutContent(content, QSize(16, 16), TitleSize(content.title), FakeMeasure);
    QVERIFY2(layout.panel.width() <= limits.width(), qPrintable(QString::number(layout.panel.width())));
    QVERIFY2(layout.panel.height() <= limits.height(), qPrintable(QString::number(layout.panel.height())));
    QCOMPARE(layout.scrolls, scrolls);
}

QTEST_APPLESS_MAIN(TestBalloonGeometry)
#include "tst_balloongeometry.moc"
