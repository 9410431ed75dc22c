// Uploads over FTP with TLS (ftpes://, ftps://) and SFTP against real loopback servers. A file of its own
// because every case here needs what the plain FTP tests do not: an authority and certificates made with
// openssl, the environment that names trusted authorities, and a home folder whose known_hosts the SFTP
// host key is checked against.
#include "fake_view.h"
#include "run/engine.h"
#include "server_process.h"
#include "test_files.h"
#include "test_keys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString Password = QStringLiteral("Pa55-word-for-tests");

} // namespace

class TestSecureUpload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_keys.isValid() && m_home.isValid());
        QString error;
        QVERIFY2(TestKeys::makeCertificates(m_keys.path(), &error), qPrintable(error));
        m_hostKey = TestKeys::makeHostKey(m_keys.filePath(QStringLiteral("host.pem")), &error);
        QVERIFY2(!m_hostKey.isEmpty(), qPrintable(error));
        m_otherKey = TestKeys::makeHostKey(m_keys.filePath(QStringLiteral("other.pem")), &error);
        QVERIFY2(!m_otherKey.isEmpty(), qPrintable(error));
        m_previousHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral(".ssh")));
    }
    void cleanupTestCase() { qputenv("HOME", m_previousHome); }

    void init()
    {
        m_local = std::make_unique<QTemporaryDir>();
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_local->isValid() && m_root->isValid());
        QVERIFY(QDir::setCurrent(m_local->path()));
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("public_html")));
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("home/veltora/public_html")));
        m_view = std::make_unique<FakeView>();
        m_engine = std::make_unique<Engine>(*m_view, CodePage("UTF-8"));
        m_engine->Inet2.setTimeouts({5000, 5, 1000, 5});
        m_engine->settings.global.FTPUSERID = QStringLiteral("veltora");
        m_engine->settings.global.FTPUSERPASS = Password;
    }
    void cleanup()
    {
        m_engine.reset();
        m_server.stop();
        qunsetenv("SSL_CERT_FILE");
        qunsetenv("SSL_CERT_DIR");
        qunsetenv("all_proxy");
    }

    // The certificate must verify, host name included, against the authorities the environment names, or
    // nothing is sent; ftpes:// never falls back to clear text.
    void tls_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("serverTls"); // explicit, implicit, or none
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("trust"); // which environment variable names the test's authority
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("arrives");
        QTest::addColumn<QString>("why"); // what the diagnostic says when it fails

        const QString file = QStringLiteral("SSL_CERT_FILE");
        const QString good = QStringLiteral("good");
        QTest::newRow("ftpes, authority trusted through SSL_CERT_FILE")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << good << file << Password << true << QString();
        QTest::newRow("ftps, authority trusted through SSL_CERT_FILE")
            << QStringLiteral("ftps") << QStringLiteral("implicit") << good << file << Password << true << QString();
        QTest::newRow("ftpes, authority trusted through SSL_CERT_DIR")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << good << QStringLiteral("SSL_CERT_DIR")
            << Password << true << QString();
        QTest::newRow("authority not trusted") << QStringLiteral("ftpes") << QStringLiteral("explicit") << good
                                               << QString() << Password << false << QStringLiteral("certificate");
        QTest::newRow("self-signed certificate")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << QStringLiteral("self-signed") << file
            << Password << false << QStringLiteral("self-signed");
        QTest::newRow("expired certificate")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << QStringLiteral("expired") << file << Password
            << false << QStringLiteral("expired");
        QTest::newRow("certificate for another name")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << QStringLiteral("wrong-name") << file << Password
            << false << QStringLiteral("name");
        QTest::newRow("ftps, self-signed certificate")
            << QStringLiteral("ftps") << QStringLiteral("implicit") << QStringLiteral("self-signed") << file << Password
            << false << QStringLiteral("self-signed");
        QTest::newRow("ftpes to a server without TLS") << QStringLiteral("ftpes") << QStringLiteral("none") << good
                                                       << file << Password << false << QStringLiteral("SSL");
        QTest::newRow("ftpes, wrong password") << QStringLiteral("ftpes") << QStringLiteral("explicit") << good << file
                                               << QStringLiteral("Not-the-Pa55") << false << QStringLiteral("530");
    }
    void tls()
    {
        QFETCH(QString, scheme);
        QFETCH(QString, serverTls);
        QFETCH(QString, certificate);
        QFETCH(QString, trust);
        QFETCH(QString, password);
        QFETCH(bool, arrives);
        QFETCH(QString, why);

        QStringList arguments{QStringLiteral("--root"), m_root->path(), QStringLiteral("--password"), Password};
        if (serverTls != QLatin1String("none"))
            arguments << QStringLiteral("--tls") << serverTls << QStringLiteral("--cert")
                      << m_keys.filePath(certificate + QStringLiteral(".pem")) << QStringLiteral("--key")
                      << m_keys.filePath(certificate + QStringLiteral(".key"));
        QVERIFY2(m_server.start(QStringLiteral("ftp_server.py"), arguments), qPrintable(m_server.error()));
        if (trust == QLatin1String("SSL_CERT_FILE"))
            qputenv("SSL_CERT_FILE", QFile::encodeName(m_keys.filePath(QStringLiteral("ca.pem"))));
        else if (trust == QLatin1String("SSL_CERT_DIR"))
            qputenv("SSL_CERT_DIR", QFile::encodeName(m_keys.filePath(QStringLiteral("authorities"))));
        m_engine->settings.global.FTPSERVERNAME = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_server.port());
        m_engine->settings.global.FTPUSERPASS = password;
        // Not the way to the server, whatever the environment says: nothing listens there.
        qputenv("all_proxy", QStringLiteral("http://127.0.0.1:%1").arg(unusedLoopbackPort()).toLatin1());
        qunsetenv("no_proxy");

        const QByteArray content = randomBytes(300000);
        setSlot(0, QStringLiteral("public_html/"), content);
        qint16 stage = -1;
        const QStringList diagnostics = capturingWarnings([&] { stage = m_engine->FTPputFILE(0); });
        checkOutcome(stage, arrives, diagnostics, why, password);
        if (arrives)
            QVERIFY(fileBytes(m_root->filePath(QStringLiteral("public_html/page.html"))) == content);
        else
            QCOMPARE(QDir(m_root->filePath(QStringLiteral("public_html"))).entryList(QDir::Files), QStringList());
    }

    // The host key must be the one known_hosts holds for the host and port. FTPDIR is relative to the login
    // folder, which is not the server's root here.
    void sftp_data()
    {
        QTest::addColumn<QString>("knownKey"); // the server's, another, or none
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("arrives");
        QTest::addColumn<QString>("why");

        QTest::newRow("known host key") << QStringLiteral("server") << Password << true << QString();
        QTest::newRow("unknown host key")
            << QStringLiteral("none") << Password << false << QStringLiteral("known_hosts にありません");
        QTest::newRow("changed host key")
            << QStringLiteral("other") << Password << false << QStringLiteral("known_hosts のものと違います");
        QTest::newRow("wrong password") << QStringLiteral("server") << QStringLiteral("Not-the-Pa55") << false
                                        << QStringLiteral("authentication");
    }
    void sftp()
    {
        QFETCH(QString, knownKey);
        QFETCH(QString, password);
        QFETCH(bool, arrives);
        QFETCH(QString, why);
        QVERIFY2(startSftp({}), qPrintable(m_server.error()));
        writeKnownHosts(knownKey == QLatin1String("server")  ? m_hostKey
                        : knownKey == QLatin1String("other") ? m_otherKey
                                                             : QByteArray());
        m_engine->settings.global.FTPUSERPASS = password;
        const QByteArray content = randomBytes(200000);
        setSlot(0, QStringLiteral("public_html/"), content);
        qint16 stage = -1;
        const QStringList diagnostics = capturingWarnings([&] { stage = m_engine->FTPputFILE(0); });
        checkOutcome(stage, arrives, diagnostics, why, password);
        const QString page = m_root->filePath(QStringLiteral("home/veltora/public_html/page.html"));
        if (arrives)
            QVERIFY(fileBytes(page) == content);
        else
            QCOMPARE(QDir(m_root->filePath(QStringLiteral("home/veltora/public_html"))).entryList(QDir::Files),
                     QStringList());
    }

    // As over FTP: whoever reads the page's name meanwhile finds the old page or the whole new one, where the
    // server allows a rename; SFTP version 3 never renames over a file, so the old page goes just before.
    void sftpReplacement_data()
    {
        QTest::addColumn<QStringList>("serverArguments");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("arrives");
        QTest::addColumn<QStringList>("allowed");  // what a reader of the page's name may find meanwhile
        QTest::addColumn<QStringList>("commands"); // for the first upload and a second one; "*": the temporary name

        const QStringList old{QStringLiteral("old"), QStringLiteral("missing"), QStringLiteral("new")};
        const QStringList renamed{QStringLiteral("WRITE *"), QStringLiteral("RENAME * page.html"),
                                  QStringLiteral("REMOVE page.html"), QStringLiteral("RENAME * page.html")};
        QTest::newRow("old page stands during a slow upload")
            << QStringList{QStringLiteral("--rate"), QStringLiteral("100000")} << QStringLiteral("public_html/") << 3
            << true << old << (renamed + renamed);
        QTest::newRow("into a folder from the root")
            << QStringList() << QStringLiteral("/home/veltora/public_html") << 3 << true << old << (renamed + renamed);
        QTest::newRow("connection dropped mid-page")
            << QStringList{QStringLiteral("--mode"), QStringLiteral("drop-during-write")}
            << QStringLiteral("public_html/") << 1 << false << QStringList{QStringLiteral("old")}
            << QStringList{QStringLiteral("WRITE *"), QStringLiteral("REMOVE *"), QStringLiteral("WRITE *"),
                           QStringLiteral("REMOVE *")};
        QTest::newRow("renames refused: stored directly, and at once the next time")
            << QStringList{QStringLiteral("--mode"), QStringLiteral("rename-refused")} << QStringLiteral("public_html/")
            << 3 << true
            << QStringList{QStringLiteral("old"), QStringLiteral("missing"), QStringLiteral("cut"),
                           QStringLiteral("new")}
            << QStringList{QStringLiteral("WRITE *"),          QStringLiteral("RENAME * page.html"),
                           QStringLiteral("REMOVE page.html"), QStringLiteral("RENAME * page.html"),
                           QStringLiteral("WRITE page.html"),  QStringLiteral("REMOVE *"),
                           QStringLiteral("WRITE page.html")};
    }
    void sftpReplacement()
    {
        QFETCH(QStringList, serverArguments);
        QFETCH(QString, directory);
        QFETCH(int, stage);
        QFETCH(bool, arrives);
        QFETCH(QStringList, allowed);
        QFETCH(QStringList, commands);
        QVERIFY2(startSftp(serverArguments), qPrintable(m_server.error()));
        writeKnownHosts(m_hostKey);
        const QString page = m_root->filePath(QStringLiteral("home/veltora/public_html/page.html"));
        const QString temporary = page + QLatin1String(FtpTransfer::TemporarySuffix);
        QStringList seen;
        bool sawTemporary = false;
        for (int upload = 0; upload < 2; ++upload) {
            const QByteArray oldPage = randomBytes(3000);
            QVERIFY(writeFile(page, oldPage));
            const QByteArray content = randomBytes(250000);
            setSlot(0, directory, content);
            watchPage(
                page, temporary, oldPage, content, [&] { QCOMPARE(m_engine->FTPputFILE(0), qint16(stage)); }, seen,
                sawTemporary);
            QVERIFY(fileBytes(page) == (arrives ? content : oldPage));
            QVERIFY(!QFile::exists(temporary));
        }
        seen.removeDuplicates();
        for (const QString& state : std::as_const(seen))
            QVERIFY2(allowed.contains(state), qPrintable(seen.join(u' ')));
        if (serverArguments.contains(QStringLiteral("--rate")))
            QVERIFY2(sawTemporary && seen.contains(QStringLiteral("old")), qPrintable(seen.join(u' ')));
        // The server names every path from its root: the login folder is /home/veltora.
        const QString remotePage = QStringLiteral("/home/veltora/public_html/page.html");
        QStringList expected = commands;
        for (QString& command : expected) {
            command.replace(QStringLiteral("page.html"), remotePage);
            command.replace(QStringLiteral("*"), remotePage + QLatin1String(FtpTransfer::TemporarySuffix));
        }
        QCOMPARE(m_server.receivedCommands(), expected);
    }

private:
    bool startSftp(const QStringList& extra)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SFTP_TEST_PASSWORD"), Password);
        m_server.process().setProcessEnvironment(environment);
        const bool started =
            m_server.start(QStringLiteral("sftp_server.py"),
                           QStringList{QStringLiteral("--root"), m_root->path(), QStringLiteral("--host-key"),
                                       m_keys.filePath(QStringLiteral("host.pem")), QStringLiteral("--login-folder"),
                                       QStringLiteral("home/veltora")} +
                               extra);
        m_engine->settings.global.FTPSERVERNAME = QStringLiteral("sftp://127.0.0.1:%1").arg(m_server.port());
        return started;
    }

    void writeKnownHosts(const QByteArray& key)
    {
        QVERIFY(writeFile(QDir(m_home.path()).filePath(QStringLiteral(".ssh/known_hosts")),
                          key.isEmpty() ? QByteArray() : TestKeys::knownHostsLine(m_server.port(), key)));
    }

    void setSlot(int No, const QString& directory, const QByteArray& content)
    {
        TransferSlot& slot = m_engine->settings.slot[No];
        slot.TEMPLATE = QStringLiteral("page.html");
        slot.FTPDIR = directory;
        slot.FTPFILENAME = QStringLiteral("page.html");
        QVERIFY(writeFile(QStringLiteral("page.html$$") + QString::number(No), content));
    }

    // Success is "実行完了"; a failure ends at stage 1 with one diagnostic saying why, never the password.
    void checkOutcome(qint16 stage, bool arrives, const QStringList& diagnostics, const QString& why,
                      const QString& password)
    {
        QCOMPARE(stage, qint16(arrives ? 3 : 1));
        QCOMPARE(m_view->ftpNow.section(u' ', 1, 1),
                 arrives ? QStringLiteral("実行完了") : QStringLiteral("FTP転送失敗"));
        if (!arrives) {
            QCOMPARE(diagnostics.size(), 1);
            QVERIFY2(diagnostics.first().contains(why, Qt::CaseInsensitive), qPrintable(diagnostics.first()));
        }
        for (const QString& line : diagnostics) {
            QVERIFY2(!line.contains(password), qPrintable(line));
            QVERIFY2(!line.contains(Password), qPrintable(line));
        }
        qInfo("%s", qPrintable(diagnostics.join(u'\n')));
    }

    QTemporaryDir m_keys;
    QTemporaryDir m_home;
    QByteArray m_hostKey;
    QByteArray m_otherKey;
    QByteArray m_previousHome;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<FakeView> m_view;
    std::unique_ptr<Engine> m_engine;
    ServerProcess m_server;
};

QTEST_GUILESS_MAIN(TestSecureUpload)
#include "test_secure_upload.moc"
