// Passwords against shadow hashes of every scheme a Linux host writes, made by libxcrypt itself.
#include "core/ShadowHash.h"

#include <QtTest>

#include <crypt.h>

namespace {

/// A hash of password in the scheme of prefix ("" is DES), with a fresh salt, as a host's passwd writes it.
QString hashOf(const char* prefix, const QByteArray& password)
{
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn(prefix, 0, nullptr, 0, setting, sizeof setting) == nullptr)
        return QString();
    crypt_data data{};
    const char* hash = crypt_r(password.constData(), setting, &data);
    return hash == nullptr || hash[0] == '*' ? QString() : QString::fromLatin1(hash);
}

} // namespace

class TestShadowHash : public QObject
{
    Q_OBJECT

private slots:
    void checkedLocally_data()
    {
        QTest::addColumn<QString>("hash");
        QTest::addColumn<QString>("password"); // the one the hash was made from
        QTest::addColumn<QString>("problem");  // a word of ShadowHashProblem; empty: checkable
        const QByteArray password = "Vt-Start#2026";
        for (const auto& [name, prefix] :
             {std::pair{"yescrypt", "$y$"}, std::pair{"SHA-512", "$6$"}, std::pair{"SHA-256", "$5$"},
              std::pair{"MD5", "$1$"}, std::pair{"bcrypt", "$2b$"}, std::pair{"DES", ""}}) {
            const QString hash = hashOf(prefix, password);
            QVERIFY2(!hash.isEmpty(), name);
            QTest::newRow(name) << hash << QString::fromLatin1(password) << "";
        }
        // Hosts hash the UTF-8 bytes of what was typed.
        QTest::newRow("UTF-8 password") << hashOf("$6$", "Pässwört#1") << QStringLiteral("Pässwört#1") << "";
        const QString sha512 = hashOf("$6$", password);
        QTest::newRow("locked with a leading !") << "!" + sha512 << QString::fromLatin1(password) << "locked";
        QTest::newRow("locked: !") << "!"
                                   << ""
                                   << "locked";
        QTest::newRow("locked: *") << "*"
                                   << ""
                                   << "locked";
        QTest::newRow("no password: empty field") << ""
                                                  << ""
                                                  << "no password";
        QTest::newRow("unknown scheme") << "$9$abc$def"
                                        << ""
                                        << "\"$9$\"";
        QTest::newRow("not a hash at all") << "x"
                                           << "x"
                                           << "no hash scheme";
    }
    void checkedLocally()
    {
        QFETCH(QString, hash);
        QFETCH(QString, password);
        QFETCH(QString, problem);
        const QString found = ShadowHashProblem(hash);
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.contains(problem), qPrintable(found));
        // Only a checkable hash matches, and only its own password (changed within DES's eight characters).
        QCOMPARE(PasswordMatchesShadowHash(SecretBuffer(password), hash), problem.isEmpty());
        QVERIFY(!PasswordMatchesShadowHash(SecretBuffer(QStringLiteral("Not-") + password), hash));
    }
};

QTEST_GUILESS_MAIN(TestShadowHash)
#include "tst_shadowhash.moc"
