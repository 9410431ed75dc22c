// Uploads over FTP with TLS (ftpes://, ftps://) and SFTP against real loopback servers. A file of its own
// because every case here needs what the plain FTP tests do not: an authority and certificates made with
// openssl, the environment that names trusted authorities, and a home folder whose known_hosts the SFTP
// host key is checked against.
#include "fake_view.h"
#include "platform/known_hosts.h"
#include "platform/server_identity.h"
#include "program_process.h"
#include "run/engine.h"
#include "server_process.h"
#include "settings/ini_file.h"
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

// A key in SSH's binary form of the given type; its bytes mean nothing, the matcher only compares them.
QByteArray madeUpKey(const QByteArray& type, char fill)
{
    const auto sshString = [](const QByteArray& bytes) {
        const quint32 size = quint32(bytes.size());
        return QByteArray(1, char(size >> 24)) + char(size >> 16) + char(size >> 8) + char(size) + bytes;
    };
    return sshString(type) + sshString(QByteArray(32, fill));
}

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
        QTest::addColumn<QString>("serverTls"); // explicit, implicit, or none; then the server's mode, if any
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("trust"); // which environment variable names the test's authority, or
                                            // "host:port" naming the server the certificate is trusted for
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
        QTest::newRow("self-signed, trusted for this server")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << QStringLiteral("self-signed")
            << QStringLiteral("127.0.0.1:{port}") << Password << true << QString();
        QTest::newRow("ftps, another name, trusted for this server")
            << QStringLiteral("ftps") << QStringLiteral("implicit") << QStringLiteral("wrong-name")
            << QStringLiteral("127.0.0.1:{port}") << Password << true << QString();
        QTest::newRow("self-signed, trusted for another port")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << QStringLiteral("self-signed")
            << QStringLiteral("127.0.0.1:{other port}") << Password << false << QStringLiteral("self-signed");
        QTest::newRow("self-signed, another certificate trusted for this server")
            << QStringLiteral("ftpes") << QStringLiteral("explicit") << QStringLiteral("self-signed")
            << QStringLiteral("127.0.0.1:{port} good") << Password << false << QStringLiteral("self-signed");
        QTest::newRow("ftpes to a server without TLS") << QStringLiteral("ftpes") << QStringLiteral("none") << good
                                                       << file << Password << false << QStringLiteral("SSL");
        QTest::newRow("ftpes, the data connection's TLS fails")
            << QStringLiteral("ftpes") << QStringLiteral("explicit data-tls-broken") << good << file << Password
            << false << QStringLiteral("保存: データ接続の TLS を確立できません");
        QTest::newRow("ftpes, a TLS 1.3 data connection loses the page's end: sent again with TLS 1.2")
            << QStringLiteral("ftpes") << QStringLiteral("explicit stor-truncated-tls13") << good << file << Password
            << true << QString();
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
        if (serverTls.contains(u' ')) { // "explicit <mode>"
            arguments << QStringLiteral("--mode") << serverTls.section(u' ', 1);
            serverTls = serverTls.section(u' ', 0, 0);
        }
        if (serverTls != QLatin1String("none"))
            arguments << QStringLiteral("--tls") << serverTls << QStringLiteral("--cert")
                      << m_keys.filePath(certificate + QStringLiteral(".pem")) << QStringLiteral("--key")
                      << m_keys.filePath(certificate + QStringLiteral(".key"));
        QVERIFY2(m_server.start(QStringLiteral("ftp_server.py"), arguments), qPrintable(m_server.error()));
        if (trust == QLatin1String("SSL_CERT_FILE"))
            qputenv("SSL_CERT_FILE", QFile::encodeName(m_keys.filePath(QStringLiteral("ca.pem"))));
        else if (trust == QLatin1String("SSL_CERT_DIR"))
            qputenv("SSL_CERT_DIR", QFile::encodeName(m_keys.filePath(QStringLiteral("authorities"))));
        // "host:port" alone trusts the server's certificate there; "host:port good" another one (a change).
        const bool changed = trust.endsWith(QLatin1String(" good"));
        if (trust.contains(u':'))
            QVERIFY(writeFile(QString::fromLatin1(ServerTrust::TrustedCertificates),
                              "# " +
                                  trust.section(u' ', 0, 0)
                                      .replace(QStringLiteral("{port}"), QString::number(m_server.port()))
                                      .replace(QStringLiteral("{other port}"), QString::number(m_server.port() + 1))
                                      .toUtf8() +
                                  '\n' +
                                  fileBytes(m_keys.filePath((changed ? QStringLiteral("good") : certificate) +
                                                            QStringLiteral(".pem")))));
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
        // A certificate no authority vouches for is kept for the window to show, the server's own.
        const ServerIdentity shown = m_engine->Inet2.refusedIdentity();
        const bool noAuthority = why == QLatin1String("self-signed") || trust.isEmpty();
        QCOMPARE(shown.worthShowing(), noAuthority);
        if (noAuthority)
            QCOMPARE(shown.certificate, ServerTrust::trustedCertificates(
                                            "# x\n" + fileBytes(m_keys.filePath(certificate + QStringLiteral(".pem"))),
                                            QStringLiteral("x"))
                                            .value(0));
        QCOMPARE(shown.standing == ServerIdentity::Standing::Changed, changed);
        QCOMPARE(ServerTrust::record(shown, nullptr), noAuthority && !changed); // a change is never recorded
        // Trusted as the window records it, it is let through on the next try.
        if (noAuthority && !changed) {
            QCOMPARE(m_engine->FTPputFILE(0), qint16(3));
        }
    }

    // The host key must be the one known_hosts holds for the host and port; the password is given the way the
    // server asks for it. FTPDIR is relative to the login folder, which is not the server's root here, unless
    // the server name holds a path: that one starts from the root.
    void sftp_data()
    {
        QTest::addColumn<QString>("knownKey"); // the server's, another, or none
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("serverArguments");
        QTest::addColumn<QString>("basePath"); // typed after the host in the server name
        QTest::addColumn<bool>("arrives");
        QTest::addColumn<QString>("why");

        const QString server = QStringLiteral("server");
        const QStringList both;
        QTest::newRow("known host key") << server << Password << both << QString() << true << QString();
        QTest::newRow("unknown host key") << QStringLiteral("none") << Password << both << QString() << false
                                          << QStringLiteral("known_hosts にありません");
        QTest::newRow("changed host key") << QStringLiteral("other") << Password << both << QString() << false
                                          << QStringLiteral("known_hosts のものと違います");
        QTest::newRow("wrong password") << server << QStringLiteral("Not-the-Pa55") << both << QString() << false
                                        << QStringLiteral("authentication");
        QTest::newRow("server asks for the password only as such")
            << server << Password << QStringList{QStringLiteral("--auth"), QStringLiteral("password")} << QString()
            << true << QString();
        QTest::newRow("server asks for the password only as a question")
            << server << Password << QStringList{QStringLiteral("--auth"), QStringLiteral("keyboard-interactive")}
            << QString() << true << QString();
        QTest::newRow("path in the server name is from the root")
            << server << Password << both << QStringLiteral("/home/veltora") << true << QString();
        QTest::newRow("revoked host key")
            << QStringLiteral("revoked") << Password << both << QString() << false << QStringLiteral("失効");
        QTest::newRow("folder missing") << server << Password << both << QStringLiteral("/nowhere") << false
                                        << QStringLiteral("フォルダーがありません (No such file");
    }
    void sftp()
    {
        QFETCH(QString, knownKey);
        QFETCH(QString, password);
        QFETCH(QStringList, serverArguments);
        QFETCH(QString, basePath);
        QFETCH(bool, arrives);
        QFETCH(QString, why);
        QVERIFY2(startSftp(serverArguments), qPrintable(m_server.error()));
        m_engine->settings.global.FTPSERVERNAME += basePath;
        writeKnownHosts(knownKey == QLatin1String("other")  ? m_otherKey
                        : knownKey == QLatin1String("none") ? QByteArray()
                                                            : m_hostKey);
        if (knownKey == QLatin1String("revoked")) // after a line that accepts the key
            QVERIFY(writeFile(QDir(m_home.path()).filePath(QStringLiteral(".ssh/known_hosts")),
                              TestKeys::knownHostsLine(m_server.port(), m_hostKey) + "@revoked * " + m_hostKey));
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

    // veltora --trust without a terminal: what each server shows and how it stands, nothing recorded, and exit 1
    // unless all is trusted already.
    void trustCommand_data()
    {
        // The key known_hosts holds: the server's, another, or none; or "ftps" (the FTP server) or "echo6" (the
        // IPv6 echo page) with a self-signed certificate.
        QTest::addColumn<QString>("known");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("known key") << QStringLiteral("server") << 0 << QStringLiteral("状態: 信頼済み");
        QTest::newRow("unknown key") << QStringLiteral("none") << 1 << QStringLiteral("状態: 未登録");
        QTest::newRow("changed key") << QStringLiteral("other") << 1 << QStringLiteral("ssh-keygen -R '[127.0.0.1]:");
        QTest::newRow("self-signed certificate") << QStringLiteral("ftps") << 1 << QStringLiteral("self-signed");
        QTest::newRow("self-signed certificate of the IPv6 echo page")
            << QStringLiteral("echo6") << 1 << QStringLiteral("self-signed");
    }
    void trustCommand()
    {
        QFETCH(QString, known);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        if (known == QLatin1String("ftps") || known == QLatin1String("echo6")) {
            QVERIFY2(m_server.start(QStringLiteral("ftp_server.py"),
                                    {QStringLiteral("--root"), m_root->path(), QStringLiteral("--tls"),
                                     QStringLiteral("implicit"), QStringLiteral("--cert"),
                                     m_keys.filePath(QStringLiteral("self-signed.pem")), QStringLiteral("--key"),
                                     m_keys.filePath(QStringLiteral("self-signed.key"))}),
                     qPrintable(m_server.error()));
            GlobalSettings& global = m_engine->settings.global;
            global.FTPSERVERNAME = QStringLiteral("%1://127.0.0.1:%2")
                                       .arg(known == QLatin1String("ftps") ? "ftps" : "ftp")
                                       .arg(m_server.port());
            if (known == QLatin1String("echo6")) {
                global.USEIPV6 = Ipv6EchoPage;
                global.GLOBALURL6 = QStringLiteral("https://127.0.0.1:%1/").arg(m_server.port());
            }
        } else {
            QVERIFY2(startSftp({}), qPrintable(m_server.error()));
        }
        writeKnownHosts(known == QLatin1String("server")  ? m_hostKey
                        : known == QLatin1String("other") ? m_otherKey
                                                          : QByteArray());
        const QString knownHosts = QDir(m_home.path()).filePath(QStringLiteral(".ssh/known_hosts"));
        const QByteArray before = fileBytes(knownHosts);
        QVERIFY(Save_ini(m_engine->settings, CodePage::system()));
        const ProgramProcess::Result result = ProgramProcess::run({QStringLiteral("--trust")}, m_local->path());
        VELTORA_COMPARE_EXIT(result, exitCode);
        QVERIFY2(result.outText().contains(said), qPrintable(result.describe(exitCode)));
        QCOMPARE(fileBytes(knownHosts), before);
        QVERIFY(!QFile::exists(m_local->filePath(QString::fromLatin1(ServerTrust::TrustedCertificates))));
        QVERIFY(!result.outText().contains(Password) && !result.errText().contains(Password));
    }

    // As over FTP: whoever reads the page's name meanwhile finds the old page or the whole new one, where the
    // server allows a rename (OpenSSH's posix-rename); without it the old page steps aside for a moment, but is
    // never removed before the new one has its name.
    void sftpReplacement_data()
    {
        QTest::addColumn<QStringList>("serverArguments");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("arrives");
        QTest::addColumn<QStringList>("allowed");  // what a reader of the page's name may find meanwhile
        QTest::addColumn<QStringList>("commands"); // for the first upload and a second one; "*": the temporary name

        const QStringList old{QStringLiteral("old"), QStringLiteral("new")};
        const QStringList renamed{QStringLiteral("WRITE *"), QStringLiteral("POSIX-RENAME * page.html")};
        const QString mode = QStringLiteral("--mode");
        QTest::newRow("old page stands during a slow upload")
            << QStringList{QStringLiteral("--rate"), QStringLiteral("100000")} << QStringLiteral("public_html/") << 3
            << true << old << (renamed + renamed);
        QTest::newRow("into a folder from the root")
            << QStringList() << QStringLiteral("/home/veltora/public_html") << 3 << true << old << (renamed + renamed);
        QTest::newRow("connection dropped mid-page")
            << QStringList{mode, QStringLiteral("drop-during-write")} << QStringLiteral("public_html/") << 1 << false
            << QStringList{QStringLiteral("old")}
            << QStringList{QStringLiteral("WRITE *"), QStringLiteral("REMOVE *"), QStringLiteral("WRITE *"),
                           QStringLiteral("REMOVE *")};
        QTest::newRow("renames refused: stored directly, and at once the next time")
            << QStringList{mode, QStringLiteral("rename-refused")} << QStringLiteral("public_html/") << 3 << true
            << QStringList{QStringLiteral("old"), QStringLiteral("cut"), QStringLiteral("new")}
            << QStringList{QStringLiteral("WRITE *"),
                           QStringLiteral("POSIX-RENAME * page.html"),
                           QStringLiteral("RENAME * page.html"),
                           QStringLiteral("REMOVE *"),
                           QStringLiteral("WRITE page.html"),
                           QStringLiteral("WRITE page.html")};
        const QStringList aside{QStringLiteral("WRITE *"), QStringLiteral("RENAME * page.html"),
                                QStringLiteral("RENAME page.html page.html.veltora-old"),
                                QStringLiteral("RENAME * page.html")};
        QTest::newRow("no posix-rename: the old page steps aside until the new one stands")
            << QStringList{mode, QStringLiteral("no-posix-rename")} << QStringLiteral("public_html/") << 3 << true
            << QStringList{QStringLiteral("old"), QStringLiteral("missing"), QStringLiteral("new")}
            << (aside + QStringList{QStringLiteral("REMOVE page.html.veltora-old")} + aside +
                QStringList{QStringLiteral("REMOVE page.html.veltora-old")});
        const QStringList back{QStringLiteral("RENAME page.html.veltora-old page.html"), QStringLiteral("REMOVE *")};
        QTest::newRow("new page refused its name: the old one back")
            << QStringList{mode, QStringLiteral("rename-in-refused")} << QStringLiteral("public_html/") << 1 << false
            << QStringList{QStringLiteral("old"), QStringLiteral("missing")} << (aside + back + aside + back);
    }
    // known_hosts as OpenSSH reads it, for the server example.org with key {A}. The hashed names stand for
    // "[example.org]:2222" and "example.org", as ssh-keygen -H wrote them.
    void knownHosts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("line");

        const int known = int(KnownHosts::Verdict::Known);
        const int unknown = int(KnownHosts::Verdict::Unknown);
        const int changed = int(KnownHosts::Verdict::Changed);
        QTest::newRow("host and port") << QByteArray("# mine\n\n[example.org]:2222 {A}\n") << 2222 << known << 3;
        QTest::newRow("no port is port 22 only") << QByteArray("example.org {A}") << 2222 << unknown << 0;
        QTest::newRow("no port, on port 22") << QByteArray("other.org {B}\nexample.org {A}") << 22 << known << 2;
        QTest::newRow("comma list, wildcard, case") << QByteArray("x,[EXAMPLE.*]:2222 {A}") << 2222 << known << 1;
        QTest::newRow("negated pattern rules the line out")
            << QByteArray("*.org,!example.org {A}") << 22 << unknown << 0;
        QTest::newRow("another key of the same type") << QByteArray("[example.org]:2222 {B}") << 2222 << changed << 1;
        QTest::newRow("a key of another type only") << QByteArray("[example.org]:2222 {R}") << 2222 << changed << 1;
        QTest::newRow("revoked beats a line that accepts")
            << QByteArray("[example.org]:2222 {A}\n@revoked * {A}") << 2222 << int(KnownHosts::Verdict::Revoked) << 2;
        QTest::newRow("cert-authority is no host key")
            << QByteArray("@cert-authority [example.org]:2222 {A}") << 2222 << unknown << 0;
        QTest::newRow("named type not the key's")
            << QByteArray("[example.org]:2222 ssh-rsa {a}") << 2222 << unknown << 0;
        QTest::newRow("hashed name with port")
            << QByteArray("|1|BbtYqGT39mK+Pcqx8iNcpzlVHdE=|cN41djsts3vrweQ1ELwgUsl+SyI= {A}") << 2222 << known << 1;
        QTest::newRow("the line we write, port 22") << QByteArray("{W}") << 22 << known << 1;
        QTest::newRow("the line we write, another port") << QByteArray("{W}") << 2222 << known << 1;
        QTest::newRow("hashed name for port 22 only")
            << QByteArray("|1|xhe/+PiOI1Bn8HFr3Wak1NoscNU=|a+0vEW57ZKRkXP7swp9TuH4zvoY= {A}") << 2222 << unknown << 0;
    }
    void knownHosts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, port);
        QFETCH(int, verdict);
        QFETCH(int, line);
        const QByteArray key = madeUpKey("ssh-ed25519", 'A');
        text.replace("{A}", "ssh-ed25519 " + key.toBase64())
            .replace("{a}", key.toBase64())
            .replace("{B}", "ssh-ed25519 " + madeUpKey("ssh-ed25519", 'B').toBase64())
            .replace("{R}", "ssh-rsa " + madeUpKey("ssh-rsa", 'R').toBase64())
            .replace("{W}", ServerTrust::knownHostsLine("Example.org", port, "ssh-ed25519", key));
        const KnownHosts::Judgement judgement = KnownHosts::judge(text, "example.org", port, key);
        QCOMPARE(int(judgement.verdict), verdict);
        QCOMPARE(judgement.line, line);
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
            QVERIFY(!QFile::exists(page + QLatin1String(".veltora-old")));
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
