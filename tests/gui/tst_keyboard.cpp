// The on-screen keyboard: captions, typing into the field, physical keys, placement, follow-up.
#include "ui/TfrmBase.h"
#include "ui/TfrmKeyBoard.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <memory>

class TestKeyboard : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void captions_data();
    void captions();
    void keyLayout_data();
    void keyLayout();
    void typingAppendsAtTheEnd();
    void shiftStaysEngaged();
    void spaceTabAndBackspace();
    void engagedKeysTurnRed();
    void physicalKeys_data();
    void physicalKeys();
    void placementRule_data();
    void placementRule();
    void opensBelowOrAboveTheField_data();
    void opensBelowOrAboveTheField();
    void followUpOnlyAfterEnter_data();
    void followUpOnlyAfterEnter();

private:
    std::unique_ptr<TfrmKeyBoard> m_keyboard;
    std::unique_ptr<QLineEdit> m_field;
};

void TestKeyboard::init()
{
    m_field = std::make_unique<QLineEdit>();
    m_keyboard = std::make_unique<TfrmKeyBoard>();
    m_keyboard->Target = m_field.get();
}

void TestKeyboard::cleanup()
{
    TfrmBase::SetModalHook({});
    m_keyboard.reset();
    m_field.reset();
}

void TestKeyboard::captions_data()
{
    QTest::addColumn<bool>("caps");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("caption");
    QTest::newRow("q: caps") << true << false << 14 << "Q";
    QTest::newRow("q: caps and shift") << true << true << 14 << "q";
    QTest::newRow("q: shift") << false << true << 14 << "Q";
    QTest::newRow("q: neither") << false << false << 14 << "q";
    QTest::newRow("z: caps") << true << false << 38 << "Z";
    QTest::newRow("7: shift gives an ampersand, doubled") << false << true << 8 << "&&";
    QTest::newRow("7: caps does not shift digits") << true << false << 8 << "7";
    QTest::newRow("grave: shift") << false << true << 1 << "~";
    QTest::newRow("equals: shift") << false << true << 13 << "+";
    QTest::newRow("backslash") << false << false << 26 << "\\";
    QTest::newRow("backslash: shift") << false << true << 26 << "|";
    QTest::newRow("apostrophe: shift") << false << true << 37 << "\"";
    QTest::newRow("semicolon") << true << false << 36 << ";";
    QTest::newRow("slash: shift") << false << true << 47 << "?";
    QTest::newRow("l: shift") << false << true << 35 << "L";
}

void TestKeyboard::captions()
{
    QFETCH(bool, caps);
    QFETCH(bool, shift);
    QFETCH(int, key);
    QFETCH(QString, caption);
    if (caps)
        m_keyboard->shCaps->click();
    if (shift)
        m_keyboard->sbShiftRight->click();
    QCOMPARE(m_keyboard->KeyCharacter(key), caption);
    QCOMPARE(m_keyboard->Key(key)->text(), caption);
}

void TestKeyboard::keyLayout_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("1") << 1 << QRect(5, 5, 30, 30);
    QTest::newRow("13") << 13 << QRect(389, 5, 30, 30);
    QTest::newRow("14") << 14 << QRect(53, 37, 30, 30);
    QTest::newRow("26 is wider") << 26 << QRect(437, 37, 46, 30);
    QTest::newRow("27") << 27 << QRect(69, 69, 30, 30);
    QTest::newRow("37") << 37 << QRect(389, 69, 30, 30);
    QTest::newRow("38") << 38 << QRect(85, 101, 30, 30);
    QTest::newRow("47") << 47 << QRect(373, 101, 30, 30);
}

void TestKeyboard::keyLayout()
{
    QFETCH(int, key);
    QFETCH(QRect, geometry);
    QCOMPARE(m_keyboard->Key(key)->geometry(), geometry);
    QCOMPARE(m_keyboard->Key(key)->focusPolicy(), Qt::NoFocus);
    QCOMPARE(m_keyboard->sbSpace->geometry(), QRect(5, 133, 478, 30));
    QCOMPARE(m_keyboard->sbBK->geometry(), QRect(421, 5, 62, 30));
    QCOMPARE(m_keyboard->sbShiftRight->geometry(), QRect(405, 101, 78, 30));
    QCOMPARE(m_keyboard->Key(key)->parentWidget()->size(), QSize(488, 168));
}

void TestKeyboard::typingAppendsAtTheEnd()
{
    m_field->setText(QStringLiteral("ab"));
    m_field->setCursorPosition(0);
    m_keyboard->sbShiftLeft->click();
    m_keyboard->Key(8)->click();
    QCOMPARE(m_field->text(), QStringLiteral("ab&"));
    m_field->setSelection(0, 2);
    m_keyboard->Key(19)->click();
    QCOMPARE(m_field->text(), QStringLiteral("ab&Y"));
}

void TestKeyboard::shiftStaysEngaged()
{
    m_keyboard->sbShiftLeft->click();
    m_keyboard->Key(2)->click();
    m_keyboard->Key(2)->click();
    QCOMPARE(m_field->text(), QStringLiteral("!!"));
    QVERIFY(m_keyboard->ShiftOn);
    m_keyboard->sbShiftRight->click();
    m_keyboard->Key(2)->click();
    QCOMPARE(m_field->text(), QStringLiteral("!!1"));
}

void TestKeyboard::spaceTabAndBackspace()
{
    m_keyboard->sbBK->click();
    QCOMPARE(m_field->text(), QString()); // nothing to remove
    m_keyboard->Key(14)->click();
    m_keyboard->sbSpace->click();
    QCOMPARE(m_keyboard->sbSpace->text(), QStringLiteral("Space"));
    QCOMPARE(m_field->text(), QStringLiteral("q "));
    QVERIFY(!m_keyboard->sbTab->isEnabled());
    m_keyboard->sbTab->click();
    QCOMPARE(m_field->text(), QStringLiteral("q "));
    m_keyboard->sbBK->click();
    m_keyboard->sbBK->click();
    m_keyboard->sbBK->click();
    QCOMPARE(m_field->text(), QString());
}

void TestKeyboard::engagedKeysTurnRed()
{
    const auto colour = [](QToolButton* b) {
        return b->palette().color(QPalette::ButtonText);
    };
    QCOMPARE(colour(m_keyboard->shCaps), QColor(Qt::black));
    m_keyboard->shCaps->click();
    QCOMPARE(colour(m_keyboard->shCaps), QColor(Qt::red));
    QCOMPARE(colour(m_keyboard->sbShiftLeft), QColor(Qt::black));
    m_keyboard->sbShiftRight->click();
    QCOMPARE(colour(m_keyboard->sbShiftLeft), QColor(Qt::red));
    QCOMPARE(colour(m_keyboard->sbShiftRight), QColor(Qt::red));
    m_keyboard->shCaps->click();
    QCOMPARE(colour(m_keyboard->shCaps), QColor(Qt::black));
    QVERIFY(m_keyboard->sbEnter->font().bold());
    QVERIFY(!m_keyboard->Key(1)->font().bold());
}

void TestKeyboard::physicalKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Escape closes, keeps the text") << int(Qt::Key_Escape) << "abc" << false << false;
    QTest::newRow("Enter accepts") << int(Qt::Key_Return) << "abc" << false << true;
    QTest::newRow("keypad Enter accepts") << int(Qt::Key_Enter) << "abc" << false << true;
    QTest::newRow("Backspace removes one") << int(Qt::Key_Backspace) << "ab" << true << false;
    QTest::newRow("letters type nothing") << int(Qt::Key_X) << "abc" << true << false;
    QTest::newRow("digits type nothing") << int(Qt::Key_5) << "abc" << true << false;
}

void TestKeyboard::physicalKeys()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(bool, open);
    QFETCH(bool, accepted);
    m_field->setText(QStringLiteral("abc"));
    m_keyboard->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_keyboard.get()));
    QTest::keyClick(m_keyboard.get(), Qt::Key(key));
    QCOMPARE(m_field->text(), text);
    QCOMPARE(m_keyboard->isVisible(), open);
    QCOMPARE(m_keyboard->Accepted, accepted);
}

void TestKeyboard::placementRule_data()
{
    QTest::addColumn<QPoint>("field");
    QTest::addColumn<QSize>("fieldSize");
    QTest::addColumn<int>("screenBottom");
    QTest::addColumn<QPoint>("expected");
    // The keyboard is 488 × 190 in every row.
    QTest::newRow("below, centred") << QPoint(300, 100) << QSize(121, 21) << 600 << QPoint(300 - 183, 121);
    QTest::newRow("no room below: above, 5 clear") << QPoint(300, 400) << QSize(121, 21) << 600 << QPoint(117, 205);
    QTest::newRow("exactly the height left: above") << QPoint(300, 389) << QSize(121, 21) << 600 << QPoint(117, 194);
    QTest::newRow("one pixel more: below") << QPoint(300, 388) << QSize(121, 21) << 600 << QPoint(117, 409);
    QTest::newRow("field wider than keyboard, odd: truncates toward zero")
        << QPoint(10, 100) << QSize(601, 21) << 600 << QPoint(10 + 56, 121);
}

void TestKeyboard::placementRule()
{
    QFETCH(QPoint, field);
    QFETCH(QSize, fieldSize);
    QFETCH(int, screenBottom);
    QFETCH(QPoint, expected);
    QCOMPARE(KeyboardPlacement(field, fieldSize, QSize(488, 190), screenBottom), expected);
}

void TestKeyboard::opensBelowOrAboveTheField_data()
{
    QTest::addColumn<bool>("nearBottom");
    QTest::newRow("room below") << false;
    QTest::newRow("near the bottom of the screen") << true;
}

void TestKeyboard::opensBelowOrAboveTheField()
{
    QFETCH(bool, nearBottom);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QWidget window;
    window.setGeometry(100, nearBottom ? screen.height() - 100 : 100, 300, 80);
    auto* field = new QLineEdit(&window);
    field->setGeometry(50, 30, 120, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QRect keyboardFrame;
    TfrmBase::SetModalHook([&](QDialog& dialog) { keyboardFrame = dialog.frameGeometry(); });
    ShowKeyboard(field);
    const QRect fieldRect(field->mapToGlobal(QPoint(0, 0)), field->size());
    QVERIFY(keyboardFrame.isValid());
    if (nearBottom)
        QCOMPARE(keyboardFrame.y() + keyboardFrame.height() + 5, fieldRect.y());
    else
        QCOMPARE(keyboardFrame.y(), fieldRect.y() + fieldRect.height());
    QCOMPARE(keyboardFrame.x(), fieldRect.x() - (keyboardFrame.width() - fieldRect.width()) / 2);
}

void TestKeyboard::followUpOnlyAfterEnter_data()
{
    QTest::addColumn<QString>("finish");
    QTest::addColumn<bool>("runs");
    QTest::newRow("Enter key on screen") << "enter" << true;
    QTest::newRow("physical Enter") << "return" << true;
    QTest::newRow("Escape") << "escape" << false;
    QTest::newRow("Close menu item") << "close" << false;
    QTest::newRow("close box") << "closebox" << false;
}

void TestKeyboard::followUpOnlyAfterEnter()
{
    QFETCH(QString, finish);
    QFETCH(bool, runs);
    QWidget window;
    auto* field = new QLineEdit(&window);
    window.show();
    int followUps = 0;
    bool keyboardGoneFirst = false;
    const QWidget* open = nullptr;
    TfrmBase::SetModalHook([&](QDialog& dialog) {
        auto& keyboard = dynamic_cast<TfrmKeyBoard&>(dialog);
        open = &keyboard;
        QCOMPARE(keyboard.windowTitle(), QStringLiteral("Virtual KeyBoard"));
        QVERIFY(!keyboard.CapsOn && !keyboard.ShiftOn && !keyboard.Accepted);
        keyboard.Key(27)->click();
        keyboard.Key(28)->click();
        if (finish == QLatin1String("enter"))
            keyboard.sbEnter->click();
        else if (finish == QLatin1String("return"))
            QTest::keyClick(&keyboard, Qt::Key_Return);
        else if (finish == QLatin1String("escape"))
            QTest::keyClick(&keyboard, Qt::Key_Escape);
        else if (finish == QLatin1String("close"))
            keyboard.Close1Click();
        else
            keyboard.close();
    });
    ShowKeyboard(field, [&] {
        ++followUps;
        keyboardGoneFirst = !QApplication::topLevelWidgets().contains(open);
    });
    QCOMPARE(field->text(), QStringLiteral("as"));
    QCOMPARE(followUps, runs ? 1 : 0);
    if (runs)
        QVERIFY(keyboardGoneFirst);
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
