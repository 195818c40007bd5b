#include "transport/KnownHostsFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

    void replaceTouchesOnlyTheHostAndPort_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("removed");

        const QByteArray key = " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIBnnT3VlKRy+wrZ1DVy86Tsj1JNpv00jFW4rc6ccbEmw";
        const QByteArray hashed = "|1|AAECAwQFBgcICQoLDA0ODxAREhM=|zTBJhfY/wDSQRFtkj5cnZP3Aia4="; // 127.0.0.9:2200
        const QString fresh = QStringLiteral("[127.0.0.9]:2200 ssh-rsa AAAAB3NzaC1yc2E=");
        QTest::newRow("replaces every key of the host, keeps the rest")
            << QByteArray("# mine\nother" + key + "\n[127.0.0.9]:2200" + key + "\n[127.0.0.9]:2200 ssh-rsa AAAA\n")
            << fresh << QByteArray("# mine\nother" + key + "\n" + fresh.toUtf8() + "\n") << 2;
        QTest::newRow("a shared line keeps the other names")
            << QByteArray("alpha,[127.0.0.9]:2200,beta" + key + " comment\n") << QString()
            << QByteArray("alpha,beta" + key + " comment\n") << 1;
        QTest::newRow("hashed name and markers")
            << QByteArray(hashed + key + "\n@revoked [127.0.0.9]:2200" + key + "\n") << QString()
            << QByteArray("@revoked [127.0.0.9]:2200" + key + "\n") << 1;
        QTest::newRow("new file") << QByteArray() << fresh << QByteArray(fresh.toUtf8() + "\n") << 0;
    }
    void replaceTouchesOnlyTheHostAndPort()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, entry);
        QFETCH(QByteArray, expected);
        QFETCH(int, removed);
        const QString path = m_dir.filePath(QStringLiteral("sub/known_hosts"));
        QFile::remove(path);
        if (!content.isEmpty()) {
            QDir().mkpath(m_dir.filePath(QStringLiteral("sub")));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        int taken = -1;
        QCOMPARE(KnownHostsFile::Replace(path, QStringLiteral("127.0.0.9"), 2200, entry, &taken), QString());
        QCOMPARE(taken, removed);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), expected);
        QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    }

    void fingerprintIsTheOpenSshOne()
    {
        // ssh-keygen -lf of this key prints SHA256:...; the known value guards the encoding (no padding).
        const QByteArray key = "AAAAC3NzaC1lZDI1NTE5AAAAIBnnT3VlKRy+wrZ1DVy86Tsj1JNpv00jFW4rc6ccbEmw";
        QFile pub(m_dir.filePath(QStringLiteral("k.pub")));
        QVERIFY(pub.open(QIODevice::WriteOnly));
        pub.write("ssh-ed25519 " + key + " x\n");
        pub.close();
        QProcess keygen;
        keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), pub.fileName()});
        QVERIFY(keygen.waitForFinished(5000));
        const QString printed = QString::fromLatin1(keygen.readAllStandardOutput()).section(QLatin1Char(' '), 1, 1);
        QVERIFY2(printed.startsWith(QLatin1String("SHA256:")), qPrintable(printed));
        QCOMPARE(KnownHostsFile::Fingerprint(key), printed);
    }
};

QTEST_GUILESS_MAIN(tst_KnownHostsFile)
#include "tst_KnownHostsFile.moc"
