#include "core/PasswordCipher.h"

#include <QRegularExpression>
#include <QtTest>

class TestCipher : public QObject
{
    Q_OBJECT

private slots:
    void knownVectors_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("enciphered");
        // Worked by hand from the cipher's rule: a = (a + p) mod 255, then XOR with the key byte.
        // start 0, "a" (0x61): a = 0x61 ^ 'v'(0x76) = 0x17.
        QTest::newRow("one letter") << "a" << 0 << "0017";
        // start 0x10, "ab": 0x10+0x61=0x71 ^ 0x76 = 0x07; 0x07+0x62=0x69 ^ 'm'(0x6D) = 0x04.
        QTest::newRow("two letters") << "ab" << 0x10 << "100704";
        // The sum wraps at 255, not 256: 0xFE + 0x02 = 0x100 -> 1; 1 ^ 0x76 = 0x77.
        QTest::newRow("wrap at 255") << QString(QChar(2)) << 0xFE << "FE77";
        QTest::newRow("empty") << "" << 0x33 << "";
    }
    void knownVectors()
    {
        QFETCH(QString, plain);
        QFETCH(int, start);
        QFETCH(QString, enciphered);
        QCOMPARE(EncipherPasswordWithStart(plain, start), enciphered);
        QCOMPARE(DecipherPassword(enciphered), plain);
    }

    void keyRepeatsAfterEightBytes()
    {
        // Nine equal bytes: the ninth uses the first key byte again, so with start 0 it differs from
        // the eighth only by the running sum.
        const QString plain(20, QLatin1Char('Z'));
        for (int start : {0, 1, 127, 254, 255})
            QCOMPARE(DecipherPassword(EncipherPasswordWithStart(plain, start)), plain);
    }

    void abcIsEightUppercaseHexDigitsAndVaries()
    {
        QSet<QString> seen;
        for (int i = 0; i < 64; ++i) {
            const QString text = EncipherPassword(QStringLiteral("abc"));
            QCOMPARE(text.size(), 8);
            QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}$")).match(text).hasMatch());
            QCOMPARE(DecipherPassword(text), QStringLiteral("abc"));
            seen.insert(text);
        }
        QVERIFY2(seen.size() > 16, "the starting value must vary");
    }

    void everyByteFromOneTo254RoundTrips()
    {
        // Work on the bytes directly through Latin-1 free UTF-8: each byte value as its own text.
        for (int start = 0; start < 256; start += 17) {
            for (int b = 1; b <= 127; ++b) {
                const QString plain(QChar(static_cast<char16_t>(b)));
                QCOMPARE(DecipherPassword(EncipherPasswordWithStart(plain, start)), plain);
            }
        }
        // Multi-byte UTF-8 covers the bytes 0x80 to 0xF4.
        const QString text = QStringLiteral("äöüß€李🙂Ωжñ");
        for (int start = 0; start < 256; ++start)
            QCOMPARE(DecipherPassword(EncipherPasswordWithStart(text, start)), text);
    }

    void quotesEncipherToHexOnly()
    {
        const QString text = EncipherPassword(QStringLiteral("it's a \"secret\"'; --"));
        QVERIFY(!text.contains(QLatin1Char('\'')));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]+$")).match(text).hasMatch());
    }

    void malformedTextNeverFails_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("one digit") << "A";
        QTest::newRow("odd length") << "10070";
        QTest::newRow("not hex") << "ZZQQ";
        QTest::newRow("lower case") << "100704";
        QTest::newRow("non-ASCII") << "1ä0ö";
    }
    void malformedTextNeverFails()
    {
        QFETCH(QString, text);
        DecipherPassword(text); // must not crash; any result is acceptable
        QCOMPARE(DecipherPassword(QStringLiteral("100704")), DecipherPassword(QStringLiteral("100704").toLower()));
    }
};

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
