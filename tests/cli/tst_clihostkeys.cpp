// host trust and host forget against the loopback OpenSSH servers: the key recorded is the one the
// server really has, libssh accepts it as known, and no other entry of known_hosts changes.
#include "tests/cli/CliInstall.h"
#include "tests/support/TestServers.h"
#include "transport/KnownHostsFile.h"
#include "transport/SshTransport.h"

#include <QFile>
#include <QtTest>

namespace {

/// Type and base64 of an OpenSSH public key file.
QPair<QString, QByteArray> publicKey(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    return fields.size() < 2 ? QPair<QString, QByteArray>() : qMakePair(QString::fromLatin1(fields[0]), fields[1]);
}

QByteArray entry(const QByteArray& names, const QPair<QString, QByteArray>& key)
{
    return names + ' ' + key.first.toLatin1() + ' ' + key.second + '\n';
}

} // namespace

class TestCliHostKeys : public QObject
{
    Q_OBJECT

    std::unique_ptr<CliInstall> m_install;

    CliResult cli(const QStringList& arguments) { return m_install->run(arguments); }
    QString knownHosts() const { return m_install->path(QStringLiteral("known_hosts")); }
    QByteArray knownHostsText() const
    {
        QFile file(knownHosts());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void initTestCase()
    {
        const QString problem = ServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    void init() { m_install = std::make_unique<CliInstall>(); }
    void cleanup() { m_install.reset(); }

    void trustRecordsTheServersKeyInPlaceOfAChangedOne()
    {
        using namespace TestServers;
        const auto openSsh = publicKey(OpenSshHostKey);
        const auto dialog = publicKey(DialogHostKey);
        QVERIFY(!openSsh.second.isEmpty() && !dialog.second.isEmpty());
        // As if 127.0.0.2 had changed its key: its entry holds another key, on a line shared with another name.
        m_install->writeFile(QStringLiteral("known_hosts"),
                             entry("[127.0.0.3]:2222", dialog) + entry("[127.0.0.2]:2222,other.example", dialog));

        CliResult result = cli({"host", "trust", "127.0.0.2:2222"});
        EXPECT_EXIT(result, 0);
        const QString fingerprint = KnownHostsFile::Fingerprint(openSsh.second);
        QVERIFY2(
            result.out.contains(QStringLiteral("Host key of 127.0.0.2:2222: %1 %2\n").arg(openSsh.first, fingerprint)),
            qPrintable(result.out));
        QVERIFY2(result.out.contains(
                     QStringLiteral("replacing %1 %2").arg(dialog.first, KnownHostsFile::Fingerprint(dialog.second))),
                 qPrintable(result.out));
        const QByteArray trusted =
            entry("[127.0.0.3]:2222", dialog) + entry("other.example", dialog) + entry("[127.0.0.2]:2222", openSsh);
        QCOMPARE(knownHostsText(), trusted);

        // libssh takes the entry as the host's key: the connection gets as far as the login, and records nothing.
        SshTransport transport;
        SshOpenParams params;
        params.address = OpenSshAddress;
        params.port = Port;
        params.username = QStringLiteral("vtst_nobody");
        params.password = SecretBuffer(QByteArray("wrong"));
        params.command = QStringLiteral("echo 2009");
        params.knownHostsPath = knownHosts();
        try {
            transport.OpenSession(params);
            QFAIL("a login that does not exist was accepted");
        } catch (const SshError& error) {
            QVERIFY2(error.kind() == SshError::Kind::Refused, qPrintable(error.message()));
        }
        QCOMPARE(knownHostsText(), trusted);

        // Trusting what is recorded changes nothing; a fingerprint that does not match records nothing.
        result = cli({"host", "trust", "127.0.0.2:2222"});
        EXPECT_EXIT(result, 0);
        QVERIFY2(result.out.contains(QLatin1String("Already recorded")), qPrintable(result.out));
        result = cli({"host", "trust", "127.0.0.3:2222", "--fingerprint", fingerprint});
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.err.contains(QLatin1String("nothing was recorded")), qPrintable(result.err));
        QCOMPARE(knownHostsText(), trusted);
    }

    void forgetRemovesOnlyThatHost()
    {
        using namespace TestServers;
        const auto key = publicKey(OpenSshHostKey);
        m_install->writeFile(QStringLiteral("known_hosts"),
                             entry("[127.0.0.2]:2222", key) + entry("[127.0.0.3]:2222", key));
        CliResult result = cli({"host", "forget", "127.0.0.2:2222"});
        EXPECT_EXIT(result, 0);
        QCOMPARE(knownHostsText(), entry("[127.0.0.3]:2222", key));
        result = cli({"host", "forget", "127.0.0.2:2222"});
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.err.contains(QLatin1String("no key of 127.0.0.2:2222 is recorded")), qPrintable(result.err));
    }

    void unreachableHostRecordsNothing_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("nothing listens") << TestServers::ClosedAddress;
        QTest::newRow("no SSH server") << TestServers::SilentAddress;
    }
    void unreachableHostRecordsNothing()
    {
        QFETCH(QString, host);
        const QString endpoint = host + QStringLiteral(":2222");
        const CliResult result = m_install->run({"host", "trust", endpoint}, QByteArray(), 40000);
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.err.contains(QStringLiteral("Cannot fetch the host key of ") + endpoint),
                 qPrintable(result.err));
        QVERIFY(!QFile::exists(knownHosts()));
    }
};

QTEST_GUILESS_MAIN(TestCliHostKeys)
#include "tst_clihostkeys.moc"
