#include "engine/PasswordGenerator.h"

#include <QSet>
#include <QTest>

namespace {

struct ClassCounts
{
    int letters = 0;
    int digits = 0;
    int specials = 0;
};

ClassCounts countClasses(const QString& password)
{
    ClassCounts counts;
    const QByteArray specials(PasswordSpecials);
    for (QChar c : password) {
        if (c.isLetter() && c.unicode() < 128)
            ++counts.letters;
        else if (c.isDigit())
            ++counts.digits;
        else if (specials.contains(char(c.unicode())))
            ++counts.specials;
        else
            qFatal("unexpected character %d", int(c.unicode()));
    }
    return counts;
}

std::uint32_t smallestDraw(std::uint32_t)
{
    return 0;
}

std::uint32_t largestDraw(std::uint32_t bound)
{
    return bound - 1;
}

} // namespace

class tst_PasswordGenerator : public QObject
{
    Q_OBJECT

private slots:
    void randomBetween_data();
    void randomBetween();
    void secureDrawStaysInRangeAndIsEven();
    void counts_data();
    void counts();
    void lastCharacterNeverFromPoolEnd_data();
    void lastCharacterNeverFromPoolEnd();
    void mixingFollowsTheDraws_data();
    void mixingFollowsTheDraws();
    void everyCharacterCanOccur();
    void lengthBelowZeroGivesEmpty();
};

void tst_PasswordGenerator::randomBetween_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("smallest");
    QTest::addColumn<int>("largest");
    QTest::newRow("upper bound excluded") << 1 << 5 << 1 << 4;
    QTest::newRow("equal bounds") << 1 << 1 << 1 << 1;
    QTest::newRow("b below a") << 1 << 0 << 0 << 0;
    QTest::newRow("b well below a") << 5 << 1 << 1 << 4;
    QTest::newRow("negative b") << 1 << -3 << -3 << 0;
}

void tst_PasswordGenerator::randomBetween()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, smallest);
    QFETCH(int, largest);
    QCOMPARE(RandomBetween(a, b, &smallestDraw), smallest);
    QCOMPARE(RandomBetween(a, b, &largestDraw), largest);
}

void tst_PasswordGenerator::secureDrawStaysInRangeAndIsEven()
{
    for (std::uint32_t bound : {1u, 2u, 3u, 7u, 0x80000001u, 0xFFFFFFFFu})
        for (int n = 0; n < 2000; ++n)
            QVERIFY(SecureUniformBelow(bound) < bound);

    // Chi-square over six buckets; 5 degrees of freedom, 20.5 is the 0.1 % point.
    constexpr int draws = 60000;
    int buckets[6] = {};
    for (int n = 0; n < draws; ++n)
        ++buckets[SecureUniformBelow(6)];
    double chi = 0;
    for (int count : buckets)
        chi += (count - draws / 6.0) * (count - draws / 6.0) / (draws / 6.0);
    QVERIFY2(chi < 20.5, qPrintable(QString::number(chi)));
}

void tst_PasswordGenerator::counts_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("digits");
    QTest::addColumn<bool>("specials");
    // Smallest and largest count of letters, digits and specials; every bound must be reached.
    QTest::addColumn<QList<int>>("bounds");
    QTest::addColumn<int>("maxDigitsAndSpecials");

    const QList<bool> on{true, false};
    for (bool d : on) {
        for (bool s : on) {
            const QByteArray name =
                QByteArray(d ? "digits" : "") + (s ? "+specials" : "") + (!d && !s ? "letters" : "");
            QTest::newRow(QByteArray("L0 " + name).constData()) << 0 << d << s << QList<int>{0, 0, 0, 0, 0, 0} << 0;
            QTest::newRow(QByteArray("L1 " + name).constData()) << 1 << d << s << QList<int>{1, 1, 0, 0, 0, 0} << 0;
        }
    }
    QTest::newRow("L2 both") << 2 << true << true << QList<int>{1, 1, 1, 1, 0, 0} << 1;
    QTest::newRow("L2 digits") << 2 << true << false << QList<int>{1, 1, 1, 1, 0, 0} << 1;
    QTest::newRow("L2 specials") << 2 << false << true << QList<int>{1, 1, 0, 0, 1, 1} << 1;
    QTest::newRow("L2 letters") << 2 << false << false << QList<int>{2, 2, 0, 0, 0, 0} << 0;
    QTest::newRow("L3 both") << 3 << true << true << QList<int>{1, 1, 1, 1, 1, 1} << 2;
    QTest::newRow("L3 digits") << 3 << true << false << QList<int>{2, 2, 1, 1, 0, 0} << 1;
    QTest::newRow("L3 specials") << 3 << false << true << QList<int>{2, 2, 0, 0, 1, 1} << 1;
    QTest::newRow("L4 both") << 4 << true << true << QList<int>{2, 2, 1, 1, 1, 1} << 2;
    QTest::newRow("L4 digits") << 4 << true << false << QList<int>{3, 3, 1, 1, 0, 0} << 1;
    QTest::newRow("L4 specials") << 4 << false << true << QList<int>{3, 3, 0, 0, 1, 1} << 1;
    QTest::newRow("L8 both") << 8 << true << true << QList<int>{2, 6, 1, 5, 1, 4} << 6;
    QTest::newRow("L8 digits") << 8 << true << false << QList<int>{3, 7, 1, 5, 0, 0} << 5;
    QTest::newRow("L8 specials") << 8 << false << true << QList<int>{3, 7, 0, 0, 1, 5} << 5;
    QTest::newRow("L8 letters") << 8 << false << false << QList<int>{8, 8, 0, 0, 0, 0} << 0;
}

void tst_PasswordGenerator::counts()
{
    QFETCH(int, length);
    QFETCH(bool, digits);
    QFETCH(bool, specials);
    QFETCH(QList<int>, bounds);
    QFETCH(int, maxDigitsAndSpecials);

    QList<int> seen{INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MIN};
    for (int run = 0; run < 6000; ++run) {
        const QString password = GeneratePassword(digits, specials, length);
        QCOMPARE(password.size(), length);
        const ClassCounts c = countClasses(password);
        QVERIFY(c.digits + c.specials <= maxDigitsAndSpecials);
        const int values[3] = {c.letters, c.digits, c.specials};
        for (int k = 0; k < 3; ++k) {
            seen[2 * k] = std::min(seen[2 * k], values[k]);
            seen[2 * k + 1] = std::max(seen[2 * k + 1], values[k]);
        }
    }
    QCOMPARE(seen, bounds);
}

void tst_PasswordGenerator::lastCharacterNeverFromPoolEnd_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("digits");
    QTest::addColumn<bool>("specials");
    // The class of the pool's last character, which holds exactly one of it at these lengths.
    QTest::addColumn<QString>("forbiddenLast");
    QTest::newRow("L2 digits: digit then letter") << 2 << true << false << QString::fromLatin1(PasswordDigits);
    QTest::newRow("L2 specials: special then letter") << 2 << false << true << QString::fromLatin1(PasswordSpecials);
    QTest::newRow("L3 both") << 3 << true << true << QString::fromLatin1(PasswordSpecials);
    QTest::newRow("L3 digits") << 3 << true << false << QString::fromLatin1(PasswordDigits);
    QTest::newRow("L4 both") << 4 << true << true << QString::fromLatin1(PasswordSpecials);
    QTest::newRow("L4 specials") << 4 << false << true << QString::fromLatin1(PasswordSpecials);
}

void tst_PasswordGenerator::lastCharacterNeverFromPoolEnd()
{
    QFETCH(int, length);
    QFETCH(bool, digits);
    QFETCH(bool, specials);
    QFETCH(QString, forbiddenLast);
    for (int run = 0; run < 3000; ++run) {
        const QString password = GeneratePassword(digits, specials, length);
        QVERIFY2(!forbiddenLast.contains(password.back()), qPrintable(password));
        if (length == 2)
            QVERIFY2(forbiddenLast.contains(password.front()), qPrintable(password));
    }
}

void tst_PasswordGenerator::mixingFollowsTheDraws_data()
{
    QTest::addColumn<bool>("largest");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");
    // Smallest draws: counts 3/1/1, pool "aaa0~", always the pool's first taken and put in front.
    QTest::newRow("smallest L5") << false << 5 << QStringLiteral("~0aaa");
    // Largest draws: counts 3/1/1, pool "ZZZ9/", taken at 4,3,2,1,1 and put at 1,1,1,2,3.
    QTest::newRow("largest L5") << true << 5 << QStringLiteral("ZZ/Z9");
    QTest::newRow("largest L1") << true << 1 << QStringLiteral("Z");
}

void tst_PasswordGenerator::mixingFollowsTheDraws()
{
    QFETCH(bool, largest);
    QFETCH(int, length);
    QFETCH(QString, expected);
    QCOMPARE(GeneratePassword(true, true, length, largest ? &largestDraw : &smallestDraw), expected);
}

void tst_PasswordGenerator::everyCharacterCanOccur()
{
    QSet<QChar> seen;
    for (int run = 0; run < 20000; ++run)
        for (QChar c : GeneratePassword(true, true, 8))
            seen.insert(c);
    const QString all = QString::fromLatin1(PasswordLetters) + QString::fromLatin1(PasswordDigits) +
                        QString::fromLatin1(PasswordSpecials);
    for (QChar c : all)
        QVERIFY2(seen.contains(c), qPrintable(QStringLiteral("never drawn: ") + c));
    QCOMPARE(seen.size(), all.size());
}

void tst_PasswordGenerator::lengthBelowZeroGivesEmpty()
{
    for (int length : {-1, -8, INT_MIN})
        QVERIFY(GeneratePassword(true, true, length).isEmpty());
}

QTEST_APPLESS_MAIN(tst_PasswordGenerator)
#include "tst_passwordgenerator.moc"
