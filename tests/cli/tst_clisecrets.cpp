// Secrets stay secret and host output stays harmless: a scripted host that echoes every answer, one
// that sends NUL, terminal escapes and 10 MB, and stored fields with escapes. Every place a password
// could land is searched for the plain passwords of the run.
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/cli/CliInstall.h"
#include "tests/support/TestServers.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

using namespace TestServers;

namespace {

QString freshPassword(const QString& prefix = QStringLiteral("Zq9-new#"))
{
    return prefix + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

/// text as a terminal shows it, compared without regard to case or Unicode form: without the escapes the
/// echo dialog puts between characters (sent, or stored made visible), case-folded and decomposed.
QString asShown(QString text)
{
    // Each follows an ESC.
    for (const char* escape : {"[1m", "]0;echo\x07", "7", "[38;5;196m", "]2;t\x1b\\", "[0m"}) {
        const QString sent = QChar(0x1B) + QString::fromLatin1(escape);
        text.remove(sent);
        text.remove(
            QString(sent).replace(QChar(0x1B), QStringLiteral("\\x1b")).replace(QChar(7), QStringLiteral("\\x07")));
    }
    return text.toCaseFolded().normalized(QString::NormalizationForm_D);
}

/// Every column of every row of the tables that keep users' histories, as one text.
QString everythingStored(TdmPublic& dm)
{
    QString text;
    for (const char* table : {"Users", "Logs"}) {
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select * from %1").arg(QLatin1String(table));
        if (!dm.OpenQuery(*query))
            return QStringLiteral("<unreadable>");
        for (; !query->Eof(); query->Next())
            for (int i = 0; i < query->FieldCount(); ++i)
                text += query->Fields(i).AsString() + QLatin1Char('\n');
    }
    return text;
}

/// Whether bytes hold a control character other than a line feed.
bool holdsControlCharacter(const QByteArray& bytes)
{
    for (const char c : bytes)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            return true;
    return false;
}

} // namespace

class TestCliSecrets : public QObject
{
    Q_OBJECT

    std::unique_ptr<CliInstall> m_install;

    CliResult cli(const QStringList& arguments, const QByteArray& input = QByteArray())
    {
        return m_install->run(arguments, input, 120000);
    }
    void importOne(const QString& login, const QString& newPassword)
    {
        m_install->writeFile(QStringLiteral("hosts.csv"), kHostsHeader + "127.0.0.3,2222,,,,user,\r\n");
        m_install->writeFile(
            QStringLiteral("users.csv"),
            kUsersHeader +
                QStringLiteral("127.0.0.3,2222,%1,%2,%3,,,,\r\n").arg(login, Password, newPassword).toUtf8());
        EXPECT_EXIT(cli({"import", "hosts", "hosts.csv"}), 0);
        EXPECT_EXIT(cli({"import", "users", "users.csv"}), 0);
    }

private slots:
    void initTestCase() { QVERIFY2(ServerProblem().isEmpty(), qPrintable(ServerProblem())); }
    void init() { m_install = std::make_unique<CliInstall>(); }
    void cleanup() { m_install.reset(); }

    void hostThatEchoesEverythingKeepsNoPassword_data()
    {
        QTest::addColumn<QString>("newPassword");
        QTest::newRow("ASCII") << freshPassword();
        // Echoed upper-cased, decomposed and with escapes between characters, some between a letter and
        // its accent.
        QTest::newRow("accented, echoed in another case and form")
            << freshPassword(QStringLiteral("Zq9\u00f1\u00e9-w#"));
    }
    void hostThatEchoesEverythingKeepsNoPassword()
    {
        QFETCH(QString, newPassword);
        importOne(QStringLiteral("vtdlg_echo1"), newPassword);
        const CliResult run = cli({"change-password", "--all"});
        EXPECT_EXIT(run, 1);
        QVERIFY2(run.out.contains(QStringLiteral("Changed Failed. ")), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("*************")), qPrintable(run.out));

        const QString stored = everythingStored(m_install->environment().dm());
        // The disguised echo arrived: what follows its last character is still there.
        QVERIFY2(stored.contains(QStringLiteral("\\x1b")), qPrintable(stored));
        QString everywhere = run.out + run.err + stored;
        for (const QString& name : QDir(m_install->path(QStringLiteral("Logs"))).entryList(QDir::Files)) {
            QFile file(m_install->path(QStringLiteral("Logs/")) + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            everywhere += QString::fromUtf8(file.readAll());
        }
        everywhere = asShown(everywhere);
        for (const QString& secret : {Password, newPassword}) {
            QVERIFY2(!everywhere.contains(asShown(secret)), qPrintable(secret));
            // Not even half of it, as the host sent it in two parts.
            QVERIFY2(!everywhere.contains(asShown(secret.left(secret.size() / 2) + QStringLiteral("\r\n") +
                                                  secret.mid(secret.size() / 2))),
                     qPrintable(secret));
        }
    }

    void hostOutputCannotDriveTheTerminalOrBreakTheSave()
    {
        importOne(QStringLiteral("vtdlg_noisy1"), freshPassword());
        const CliResult run = cli({"change-password", "--all"});
        QVERIFY2(!run.out.contains(QStringLiteral("Save data error")), qPrintable(run.out));
        QVERIFY2(!holdsControlCharacter(run.out.toUtf8()), qPrintable(run.out));
        QVERIFY(!holdsControlCharacter(run.err.toUtf8()));

        TdmPublic& dm = m_install->environment().dm();
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select LastLog from Users");
        QVERIFY(dm.OpenQuery(*query) && !query->Eof());
        const QString log = query->Fields(0).AsString();
        QVERIFY2(log.contains(QStringLiteral("\\0start\\x1b]0;owned title\\x07\\x1b[?1049h\\x1b[6n")),
                 qPrintable(log.left(300)));
        // The flood is counted, not kept.
        QVERIFY2(log.size() < 200 * 1024, qPrintable(QString::number(log.size())));
        QVERIFY(log.contains(QStringLiteral("bytes of host output left out")));
    }

    void storedEscapesAreShownNotObeyed()
    {
        m_install->writeFile(QStringLiteral("hosts.csv"), kHostsHeader + "127.0.0.4,2222,,,,user,\r\n");
        m_install->writeFile(QStringLiteral("users.csv"), kUsersHeader + "127.0.0.4,2222,eve,pw,,,,,\r\n");
        EXPECT_EXIT(cli({"import", "hosts", "hosts.csv"}), 0);
        EXPECT_EXIT(cli({"import", "users", "users.csv"}), 0);
        TdmPublic& dm = m_install->environment().dm();
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("update Users set uName = 'a' || char(27) || ']0;title' || char(7) || "
                                          "char(27) || '[6n', LoginName = 'eve' || char(27) || '[2J'");
        QVERIFY(dm.OpenQuery(*query));

        const CliResult listed = cli({"list"});
        EXPECT_EXIT(listed, 0);
        QVERIFY2(!holdsControlCharacter(listed.out.toUtf8()), qPrintable(listed.out));
        QVERIFY(listed.out.contains(QStringLiteral("name=a\\x1b]0;title\\x07\\x1b[6n")));
        const CliResult tested = cli({"test-login", "--all"});
        QVERIFY2(!holdsControlCharacter(tested.out.toUtf8()), qPrintable(tested.out));
        QVERIFY(tested.out.startsWith(QStringLiteral("eve\\x1b[2J  127.0.0.4:2222  [")));
    }
};

QTEST_GUILESS_MAIN(TestCliSecrets)
#include "tst_clisecrets.moc"
