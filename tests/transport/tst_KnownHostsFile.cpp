#include "transport/KnownHostsFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_KnownHostsFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QByteArray& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("known_hosts"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write(content);
        return path;
    }

private slots:
    void findsTheEntriesOfOneHostAndPort_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<QList<int>>("lines");

        const QByteArray key = " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIBnnT3VlKRy+wrZ1DVy86Tsj1JNpv00jFW4rc6ccbEmw\n";
        QTest::newRow("bracketed with port")
            << QByteArray("# comment\n\n[127.0.0.2]:2222" + key) << "127.0.0.2" << 2222 << QList<int>{3};
        QTest::newRow("other port is another host")
            << QByteArray("[127.0.0.2]:2200" + key + "127.0.0.2" + key) << "127.0.0.2" << 2222 << QList<int>{};
        QTest::newRow("port 22 uses the bare name")
            << QByteArray("[10.0.0.1]:2222" + key + "10.0.0.1" + key) << "10.0.0.1" << 22 << QList<int>{2};
        QTest::newRow("prefix of another address") << QByteArray("10.0.0.10" + key) << "10.0.0.1" << 22 << QList<int>{};
        QTest::newRow("one of several names")
            << QByteArray("alpha,[127.0.0.2]:2222,beta" + key) << "127.0.0.2" << 2222 << QList<int>{1};
        QTest::newRow("every key type of the host")
            << QByteArray("[127.0.0.2]:2222" + key + "other" + key +
                          "[127.0.0.2]:2222 ecdsa-sha2-nistp256 AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTY=\n")
            << "127.0.0.2" << 2222 << QList<int>{1, 3};
        QTest::newRow("hashed name") << QByteArray("other" + key +
                                                   "|1|AAECAwQFBgcICQoLDA0ODxAREhM=|zTBJhfY/wDSQRFtkj5cnZP3Aia4=" + key)
                                     << "127.0.0.9" << 2200 << QList<int>{2};
        QTest::newRow("hashed name of another host")
            << QByteArray("|1|AAECAwQFBgcICQoLDA0ODxAREhM=|zTBJhfY/wDSQRFtkj5cnZP3Aia4=" + key) << "127.0.0.9" << 2201
            << QList<int>{};
        QTest::newRow("marker before the names")
            << QByteArray("@revoked [127.0.0.2]:2222" + key) << "127.0.0.2" << 2222 << QList<int>{1};
        QTest::newRow("name without a key is no entry")
            << QByteArray("[127.0.0.2]:2222\n") << "127.0.0.2" << 2222 << QList<int>{};
        QTest::newRow("windows line ends")
            << QByteArray("x" + key.chopped(1) + "\r\n[127.0.0.2]:2222" + key) << "127.0.0.2" << 2222 << QList<int>{2};
    }

    void findsTheEntriesOfOneHostAndPort()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QList<int>, lines);
        QCOMPARE(KnownHostsFile::LinesFor(write(content), address, port), lines);
    }

    void missingFileHasNoEntries()
    {
        QVERIFY(KnownHostsFile::LinesFor(m_dir.filePath(QStringLiteral("absent")), QStringLiteral("h"), 22).isEmpty());
    }

    void changedKeyMessageSaysWhatToRemove_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expectedPart");

        const QByteArray entry = "[127.0.0.2]:2222 ssh-ed25519 AAAA\n";
        QTest::newRow("one line") << QByteArray("a ssh-ed25519 AAAA\n" + entry) << "remove line 2 of ";
        QTest::newRow("two lines") << QByteArray(entry + "a ssh-ed25519 AAAA\n" + entry) << "remove lines 1, 3 of ";
        QTest::newRow("no line found") << QByteArray("a ssh-ed25519 AAAA\n")
                                       << "remove the entry for [127.0.0.2]:2222 from ";
    }

    void changedKeyMessageSaysWhatToRemove()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expectedPart);
        const QString path = write(content);
        const QString message = KnownHostsFile::ChangedKeyMessage(path, QStringLiteral("127.0.0.2"), 2222);
        QVERIFY2(message.contains(QStringLiteral("127.0.0.2:2222 has changed")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("attack")), qPrintable(message));
        QVERIFY2(message.contains(expectedPart + path), qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(tst_KnownHostsFile)
#include "tst_KnownHostsFile.moc"
