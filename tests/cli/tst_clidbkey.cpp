// veltrane-cli on a database under a password of its own: rekey both ways, --db-password-file, and
// every refusal ending before anything is written.
#include "core/PasswordCipher.h"
#include "core/TDBSession.h"
#include "core/TSelfQuery.h"
#include "tests/cli/CliInstall.h"

#include <QFile>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("Tr1cky pass");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The program password and the protection switch, read with password (empty: the built-in key);
/// empty when that does not open the file.
QStringList programPassword(const QString& path, const QString& password)
{
    TDBSession session;
    if (!session.OpenDatabaseWithPassword(path, SecretBuffer(password), false))
        return {};
    TSelfQuery query(session);
    query.SelectSQL = QStringLiteral("select UserPass, EnablePWD from SysParams");
    query.Open();
    return {DecipherPassword(query.Fields(0).AsString()), query.Fields(1).AsString()};
}

} // namespace

class TestCliDatabaseKey : public QObject
{
    Q_OBJECT

    std::unique_ptr<CliInstall> m_install;

    CliResult cli(const QStringList& arguments) { return m_install->run(arguments); }
    QString database() const { return m_install->environment().databasePath(); }
    /// Puts the installation's database under Password, with the password file "pw".
    void protect()
    {
        m_install->writeFile(QStringLiteral("pw"), Password.toUtf8() + "\r\nnot this line\n");
        const CliResult result = cli({"rekey", "--new-password-file", "pw"});
        EXPECT_EXIT(result, 0);
    }

private slots:
    void init() { m_install = std::make_unique<CliInstall>(); }
    void cleanup() { m_install.reset(); }

    void rekeyBothWaysWithThePasswordFromAFile()
    {
        const CliResult first = cli({"host", "add", "127.0.1.5", "--note", "first"});
        EXPECT_EXIT(first, 0);
        protect();
        // The file is the password's alone now, and the password is the program password too.
        QVERIFY(programPassword(database(), QString()).isEmpty());
        QCOMPARE(programPassword(database(), Password), (QStringList{Password, QStringLiteral("1")}));

        const CliResult refused = cli({"list"});
        EXPECT_EXIT(refused, 1);
        QVERIFY2(refused.err.contains(QLatin1String("--db-password-file FILE")), qPrintable(refused.err));
        QCOMPARE(refused.err.count(QLatin1Char('\n')), 1);

        const CliResult second = cli({"--db-password-file=pw", "host", "add", "127.0.1.6", "--note", "second"});
        EXPECT_EXIT(second, 0);
        const CliResult listed = cli({"--db", database(), "--db-password-file", "pw", "list"});
        EXPECT_EXIT(listed, 0);
        QVERIFY(listed.out.contains(QLatin1String("127.0.1.5:22")));
        QVERIFY(listed.out.contains(QLatin1String("127.0.1.6:22")));

        // Back to the built-in key: no password needed any more, the program password stays.
        const CliResult back = cli({"--db-password-file", "pw", "rekey", "--builtin"});
        EXPECT_EXIT(back, 0);
        const CliResult plain = cli({"list"});
        EXPECT_EXIT(plain, 0);
        QCOMPARE(plain.out, listed.out);
        QCOMPARE(programPassword(database(), QString()), (QStringList{Password, QStringLiteral("1")}));
        const CliResult again = cli({"rekey", "--builtin"});
        EXPECT_EXIT(again, 0);
        QVERIFY(again.out.contains(QLatin1String("already")));
    }

    void refusalsWriteNothing_data()
    {
        QTest::addColumn<bool>("protectedFirst");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString wrongPassword = QStringLiteral("the password does not open the database");
        QTest::newRow("wrong password, reading")
            << true << QStringList{"--db-password-file", "wrong", "list"} << 1 << wrongPassword;
        QTest::newRow("wrong password, writing")
            << true << QStringList{"--db-password-file", "wrong", "host", "add", "127.0.1.9"} << 1 << wrongPassword;
        QTest::newRow("wrong password, back to the built-in key")
            << true << QStringList{"--db-password-file", "wrong", "rekey", "--builtin"} << 1 << wrongPassword;
        QTest::newRow("wrong password, to another password")
            << true << QStringList{"--db-password-file", "wrong", "rekey", "--new-password-file", "wrong"} << 1
            << wrongPassword;
        QTest::newRow("password on the second line only")
            << true << QStringList{"--db-password-file", "second-line", "list"} << 1 << "is empty";
        QTest::newRow("missing password file")
            << true << QStringList{"--db-password-file", "nowhere", "list"} << 1 << "cannot read the database password";
        QTest::newRow("no password and no terminal") << true << QStringList{"list"} << 1 << "run on a terminal";
        QTest::newRow("new password too long")
            << false << QStringList{"rekey", "--new-password-file", "long"} << 1 << "longer than 30";
        QTest::newRow("new password with a control character")
            << false << QStringList{"rekey", "--new-password-file", "tab"} << 1 << "control character";
        QTest::newRow("new password not UTF-8")
            << false << QStringList{"rekey", "--new-password-file", "latin1"} << 1 << "not valid UTF-8";
        QTest::newRow("new password file missing")
            << false << QStringList{"rekey", "--new-password-file", "nowhere"} << 1 << "cannot read the new";
        QTest::newRow("rekey without a direction") << false << QStringList{"rekey"} << 2 << "--builtin";
        QTest::newRow("rekey both ways at once")
            << false << QStringList{"rekey", "--builtin", "--new-password-file", "wrong"} << 2 << "either";
        QTest::newRow("password file option without a file")
            << false << QStringList{"--db-password-file"} << 2 << "--db-password-file needs a FILE";
    }
    void refusalsWriteNothing()
    {
        QFETCH(bool, protectedFirst);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        if (protectedFirst)
            protect();
        m_install->writeFile(QStringLiteral("wrong"), "tr1cky pass\n");
        m_install->writeFile(QStringLiteral("second-line"), "\n" + Password.toUtf8() + "\n");
        m_install->writeFile(QStringLiteral("long"), QByteArray(31, 'p') + "\n");
        m_install->writeFile(QStringLiteral("tab"), "pass\tword\n");
        m_install->writeFile(QStringLiteral("latin1"), "gr\xfc\xdf\n");
        const QByteArray before = fileBytes(database());

        const CliResult result = cli(arguments);
        EXPECT_EXIT(result, exitCode);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
        QVERIFY(result.out.isEmpty());
        QCOMPARE(fileBytes(database()), before);
        QVERIFY(!QFile::exists(database() + QStringLiteral("-journal")));
    }
};

QTEST_MAIN(TestCliDatabaseKey)
#include "tst_clidbkey.moc"
