// Uploads through the real engine to the servers Debian ships, run on loopback from the build folder: vsftpd
// (plain, explicit and implicit TLS), OpenSSH's sshd with internal-sftp, pure-ftpd and proftpd with renames
// denied. Each row is one server with one setting and one page, sent one or more times; the page must land
// byte for byte, or be refused with the reason named.
#include "debian_servers.h"
#include "fake_view.h"
#include "run/engine.h"
#include "test_files.h"
#include "test_keys.h"
#include "test_timeouts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestInterop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString unavailable = DebianServer::unavailable();
        if (!unavailable.isEmpty())
            QSKIP(qPrintable(unavailable));
        QString error;
        QVERIFY2(DebianServer::setUp(&error), qPrintable(error));
        QVERIFY(m_keys.isValid() && m_home.isValid());
        QVERIFY2(TestKeys::makeCertificates(m_keys.path(), &error), qPrintable(error));
        for (const QString& name : {QStringLiteral("ed25519"), QStringLiteral("rsa"), QStringLiteral("other-ed25519"),
                                    QStringLiteral("other-rsa")}) {
            m_hostKeys[name] = TestKeys::makeSshHostKey(m_keys.filePath(name), name.section(u'-', -1), &error);
            QVERIFY2(!m_hostKeys[name].isEmpty(), qPrintable(error));
        }
        m_previousHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral(".ssh")));
        qputenv("SSL_CERT_FILE", QFile::encodeName(m_keys.filePath(QStringLiteral("ca.pem"))));
    }
    void cleanupTestCase()
    {
        qputenv("HOME", m_previousHome);
        qunsetenv("SSL_CERT_FILE");
    }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            std::fprintf(stderr, "---- server output and log:\n%s\n----\n", qPrintable(m_server.output()));
        m_server.stop();
        m_dir.reset();
    }

    void upload_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("setting");    // vsftpd: TLS; sshd: host key type; others: what renames meet
        QTest::addColumn<QString>("knownHosts"); // sshd: what ~/.ssh/known_hosts says of the host's key
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<bool>("oldPage"); // a page of that name is there before each round
        QTest::addColumn<bool>("arrives");
        QTest::addColumn<QString>("why"); // what the diagnostic says when it is refused

        const QString vsftpd = QStringLiteral("vsftpd");
        const QString sshd = QStringLiteral("sshd");
        const QString ed25519 = QStringLiteral("ed25519");
        const QString known = QStringLiteral("server");
        const QString proftpd = QStringLiteral("proftpd");
        const QString unknown = QStringLiteral("known_hosts にありません");
        const int kib300 = 300 * 1024;
        QTest::newRow("vsftpd plain") << vsftpd << QStringLiteral("none") << QString() << 20000 << 2 << true << true
                                      << QString();
        QTest::newRow("vsftpd ftpes 300 KiB x5")
            << vsftpd << QStringLiteral("explicit") << QString() << kib300 << 5 << true << true << QString();
        QTest::newRow("vsftpd ftps implicit 300 KiB x5")
            << vsftpd << QStringLiteral("implicit") << QString() << kib300 << 5 << false << true << QString();
        QTest::newRow("sshd ed25519") << sshd << ed25519 << known << 200000 << 2 << true << true << QString();
        QTest::newRow("sshd RSA-only") << sshd << QStringLiteral("rsa") << known << 200000 << 1 << false << true
                                       << QString();
        QTest::newRow("sshd unknown key")
            << sshd << ed25519 << QStringLiteral("none") << 1000 << 1 << false << false << unknown;
        QTest::newRow("sshd changed key") << sshd << ed25519 << QStringLiteral("other") << 1000 << 1 << false << false
                                          << QStringLiteral("known_hosts のものと違います");
        QTest::newRow("sshd RSA-only, changed key")
            << sshd << QStringLiteral("rsa") << QStringLiteral("other") << 1000 << 1 << false << false
            << QStringLiteral("known_hosts のものと違います");
        QTest::newRow("sshd revoked key, another line accepting it")
            << sshd << ed25519 << QStringLiteral("revoked") << 1000 << 1 << false << false
            << QStringLiteral("known_hosts");
        QTest::newRow("sshd key only as @cert-authority")
            << sshd << ed25519 << QStringLiteral("cert-authority") << 1000 << 1 << false << false << unknown;
        QTest::newRow("sshd key known without port (port 22 only)")
            << sshd << ed25519 << QStringLiteral("no port") << 1000 << 1 << false << false << unknown;
        QTest::newRow("pure-ftpd -G (no renames)") << QStringLiteral("pure-ftpd") << QStringLiteral("-G") << QString()
                                                   << 50000 << 2 << true << true << QString();
        QTest::newRow("proftpd RNFR RNTO denied")
            << proftpd << QStringLiteral("RNFR RNTO") << QString() << 50000 << 2 << true << true << QString();
        QTest::newRow("proftpd RNTO denied, empty folder")
            << proftpd << QStringLiteral("RNTO") << QString() << 50000 << 1 << false << true << QString();
        QTest::newRow("proftpd RNTO denied, over an old page")
            << proftpd << QStringLiteral("RNTO") << QString() << 50000 << 2 << true << true << QString();
    }
    void upload()
    {
        QFETCH(QString, server);
        QFETCH(QString, setting);
        QFETCH(QString, knownHosts);
        QFETCH(int, size);
        QFETCH(int, rounds);
        QFETCH(bool, oldPage);
        QFETCH(bool, arrives);
        QFETCH(QString, why);

        // Kept until the server has stopped: its configuration and log are there.
        m_dir = std::make_unique<QTemporaryDir>();
        const QString dir = m_dir->filePath(QStringLiteral("server"));
        const QString local = m_dir->filePath(QStringLiteral("local"));
        QVERIFY(m_dir->isValid() && QDir().mkpath(dir) && QDir().mkpath(local));
        QVERIFY(QDir::setCurrent(local));
        QString scheme = QStringLiteral("ftp");
        bool started = false;
        if (server == QLatin1String("vsftpd")) {
            started = m_server.startVsftpd(dir, setting, m_keys.filePath(QStringLiteral("good.pem")),
                                           m_keys.filePath(QStringLiteral("good.key")));
            scheme = setting == QLatin1String("explicit")   ? QStringLiteral("ftpes")
                     : setting == QLatin1String("implicit") ? QStringLiteral("ftps")
                                                            : scheme;
        } else if (server == QLatin1String("sshd")) {
            started = m_server.startSshd(dir, {m_keys.filePath(setting)});
            scheme = QStringLiteral("sftp");
        } else if (server == QLatin1String("pure-ftpd")) {
            started = m_server.startPureFtpd(dir, {setting});
        } else {
            started = m_server.startProftpd(dir, setting);
        }
        QVERIFY2(started, qPrintable(m_server.error()));
        if (scheme == QLatin1String("sftp"))
            writeKnownHosts(knownHosts, setting);

        FakeView view;
        Engine engine(view, CodePage("UTF-8"));
        engine.Inet2.setTimeouts({scaledMs(5000), 5 * testTimeoutFactor(), 1000, 5 * testTimeoutFactor()});
        engine.settings.global.FTPSERVERNAME = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_server.port());
        engine.settings.global.FTPUSERID = DebianServer::User;
        engine.settings.global.FTPUSERPASS = DebianServer::Password;
        TransferSlot& slot = engine.settings.slot[0];
        slot.TEMPLATE = QStringLiteral("page.html");
        slot.FTPDIR = QStringLiteral("public_html/");
        slot.FTPFILENAME = QStringLiteral("page.html");

        const QString folder = m_server.site() + QStringLiteral("/public_html");
        const QString page = folder + QStringLiteral("/page.html");
        for (int round = 1; round <= rounds; ++round) {
            const QByteArray old = oldPage ? randomBytes(3000) : QByteArray();
            // The servers write as the login's user, who must be able to replace the old page.
            if (oldPage)
                QVERIFY(writeFile(page, old) && QFile::setPermissions(page, QFile::Permissions(0x6666)));
            const QByteArray content = randomBytes(size);
            QVERIFY(writeFile(QStringLiteral("page.html$$0"), content));
            qint16 stage = -1;
            const QStringList diagnostics = capturingWarnings([&] { stage = engine.FTPputFILE(0); });
            const QByteArray context =
                QStringLiteral("round %1 of %2: %3").arg(round).arg(rounds).arg(diagnostics.join(u'\n')).toUtf8();
            QVERIFY2(stage == (arrives ? 3 : 1), context.constData());
            QCOMPARE(view.ftpNow.section(u' ', 1, 1),
                     arrives ? QStringLiteral("実行完了") : QStringLiteral("FTP転送失敗"));
            for (const QString& line : diagnostics)
                QVERIFY2(!line.contains(DebianServer::Password), qPrintable(line));
            if (arrives) {
                QVERIFY2(fileBytes(page) == content, context.constData());
                QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("page.html")});
            } else {
                QVERIFY2(diagnostics.size() == 1 && diagnostics.first().contains(why), context.constData());
                QVERIFY(oldPage ? fileBytes(page) == old : !QFile::exists(page));
            }
            qInfo("%s", context.constData());
        }
    }

private:
    // ~/.ssh/known_hosts for the running sshd, whose host key is `type`.
    void writeKnownHosts(const QString& what, const QString& type)
    {
        const QByteArray key = m_hostKeys.value(type);
        const QByteArray line = TestKeys::knownHostsLine(m_server.port(), key);
        QByteArray text;
        if (what == QLatin1String("server"))
            text = line;
        else if (what == QLatin1String("other"))
            text = TestKeys::knownHostsLine(m_server.port(), m_hostKeys.value(QStringLiteral("other-") + type));
        else if (what == QLatin1String("revoked"))
            text = "@revoked " + line + line;
        else if (what == QLatin1String("cert-authority"))
            text = "@cert-authority " + line;
        else if (what == QLatin1String("no port"))
            text = "127.0.0.1 " + key + '\n';
        QVERIFY(writeFile(QDir(m_home.path()).filePath(QStringLiteral(".ssh/known_hosts")), text));
    }

    QTemporaryDir m_keys;
    QTemporaryDir m_home;
    QHash<QString, QByteArray> m_hostKeys;
    QByteArray m_previousHome;
    std::unique_ptr<QTemporaryDir> m_dir;
    DebianServer m_server;
};

QTEST_GUILESS_MAIN(TestInterop)
#include "test_interop.moc"
