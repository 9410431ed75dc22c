#include "fake_view.h"
#include "run/engine.h"
#include "server_process.h"
#include "test_files.h"
#include "test_keys.h"
#include "test_timeouts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>
#include <memory>

using namespace std::chrono_literals;

namespace {

const QString kChecking = QStringLiteral("IPアドレス確認中");
const QString kNotObtained = QStringLiteral("未取得");
const QString kUnreachable = QStringLiteral("接続不可");
const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 5, 7));

QString bodyPath(const QByteArray& body, const QString& extra = {})
{
    return QStringLiteral("/body?b64=") +
           QString::fromLatin1(body.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)) + extra;
}

} // namespace

class TestGlobalLookup : public QObject
{
    Q_OBJECT
private:
    ServerProcess m_server;
    ServerProcess m_server6; // on [::1]
    ServerProcess m_tls; // https, with a certificate of the test's own authority, named by SSL_CERT_FILE
    QTemporaryDir m_keys;
    std::unique_ptr<TemporaryWorkDir> m_dir;

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.port()); }
    QString tlsBase() const { return QStringLiteral("https://127.0.0.1:%1").arg(m_tls.port()); }

    // The URL a row names: a path on the test server, or a whole URL with %1 for a refused port.
    QString urlFor(const QString& row) const
    {
        if (row.contains(QStringLiteral("%1")))
            return row.arg(unusedLoopbackPort());
        return row.contains(QStringLiteral("://")) ? row : base() + row;
    }

    // A path that redirects `times` times before it reaches `target`.
    static QString redirected(int times, QString target)
    {
        while (times-- > 0)
            target = QStringLiteral("/redirect?to=") + QString::fromLatin1(QUrl::toPercentEncoding(target));
        return target;
    }

    static void shortWaits(Engine& engine) { engine.Inet1.setTimeouts(2000ms, 3000ms); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(QStringLiteral("http_echo_server.py")), qPrintable(m_server.error()));
        QVERIFY2(m_server6.start(QStringLiteral("http_echo_server.py"), {QStringLiteral("--ipv6")}),
                 qPrintable(m_server6.error()));
        QString error;
        QVERIFY2(m_keys.isValid() && TestKeys::makeCertificates(m_keys.path(), &error), qPrintable(error));
        QVERIFY2(m_tls.start(QStringLiteral("http_echo_server.py"),
                             {QStringLiteral("--tls"), m_keys.filePath(QStringLiteral("good.pem")),
                              m_keys.filePath(QStringLiteral("good.key"))}),
                 qPrintable(m_tls.error()));
        qputenv("SSL_CERT_FILE", QFile::encodeName(m_keys.filePath(QStringLiteral("ca.pem"))));
    }
    void cleanupTestCase() { qunsetenv("SSL_CERT_FILE"); }

    void init()
    {
        m_dir = std::make_unique<TemporaryWorkDir>();
        QVERIFY(m_dir->isValid());
        Clock::setNow(kNow);
    }

    void cleanup()
    {
        m_server.printOutputIfFailed();
        m_dir.reset();
        Clock::reset();
    }

    void lookup_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("address"); // caption of IP_address and text of CHIKANto0 (state 1)
        QTest::addColumn<QByteArray>("file"); // GLOBALIP.TXT afterwards

        const QByteArray sjis("windows-31j");
        const QByteArray utf8("UTF-8");
        const auto page = [](const QByteArray& codec, const char* name, const QByteArray& body, int state,
                             const QString& address) {
            QTest::newRow(name) << codec << bodyPath(body) << state << address << body;
        };

        const QByteArray third(
            "<HTML>\r\n<BODY>\r\nYOUR IP IS 192.0.2.7<BR>\r\n</BODY>\r\nIP ADDRESS: 198.51.100.9\r\n");
        page(sjis, "address on the third line", third, 1, QStringLiteral("192.0.2.7"));
        page(utf8, "address on the third line, UTF-8", third, 1, QStringLiteral("192.0.2.7"));
        page(sjis, "LF-only page is one line", "<HTML>\nYOUR IP IS 192.0.2.8\n</HTML>\n", 1,
             QStringLiteral("192.0.2.8"));
        page(sjis, "LF between marker and address", "YOUR IP IS\n192.0.2.8<BR>\r\n", 0, kNotObtained);
        page(sjis, "lone LF stays inside a CR line", "X\r\nYOUR IP IS\n 192.0.2.9<BR>\r\nY\r\n", 1,
             QStringLiteral("192.0.2.9"));
        page(sjis, "CR alone ends a line", "<P>\rCURRENT IP ADDRESS: 192.0.2.10</BODY></HTML>\r", 1,
             QStringLiteral("192.0.2.10"));
        page(sjis, "no marker", "<HTML><BODY>Hello</BODY></HTML>\r\n", 0, kNotObtained);
        page(sjis, "empty answer", "", 0, kNotObtained);
        page(sjis, "bare address", "203.0.113.50\n", 1, QStringLiteral("203.0.113.50"));
        page(sjis, "bare address with blanks and CR LF", "  203.0.113.51 \r\n\r\n", 1, QStringLiteral("203.0.113.51"));
        page(sjis, "bare IPv6 address", "2001:db8::5\n", 1, QStringLiteral("2001:db8::5"));
        page(sjis, "labelled IPv6 address", "<p>Current IP Address: 2001:DB8::7</p>\r\n", 1,
             QStringLiteral("2001:db8::7"));
        page(utf8, "bare address after a byte-order mark",
             "\xEF\xBB\xBF"
             "203.0.113.52\r\n",
             1, QStringLiteral("203.0.113.52"));
        page(utf8, "marker line after a byte-order mark", "\xEF\xBB\xBFYOUR IP IS 203.0.113.53<BR>\r\n", 1,
             QStringLiteral("203.0.113.53"));
        page(sjis, "bare loopback rejected", "127.0.0.1\n", 0, kNotObtained);
        page(sjis, "two addresses are no bare address", "203.0.113.50 203.0.113.51\n", 0, kNotObtained);
        page(sjis, "NOT AVAILABLE is no address", "YOUR IP IS NOT AVAILABLE\r\n", 0, kNotObtained);
        page(sjis, "closing tag after the address", "IP ADDRESS:<B>203.0.113.9</B>", 1, QStringLiteral("203.0.113.9"));
        page(sjis, "0.0.0.0 rejected, next line tried", "YOUR IP IS 0.0.0.0<BR>\r\nYOUR IP IS 192.0.2.77<BR>\r\n", 1,
             QStringLiteral("192.0.2.77"));
        page(sjis, "127.0.0.1 rejected", "YOUR IP IS 127.0.0.1<BR>\r\n", 0, kNotObtained);
        page(sjis, "0.0.0.0 alone rejected", "YOUR IP IS 0.0.0.0<BR>\r\n", 0, kNotObtained);
        // Anyone on the plain-http path can plant an answer: nothing but an address may reach the templates.
        page(sjis, "NUL after a bare address, markup after it",
             QByteArrayLiteral("203.0.113.9\0<script src=//evil.example/x.js></script>\n"), 0, kNotObtained);
        page(sjis, "NUL inside a bare address",
             QByteArrayLiteral("203.0.1\0"
                               "13.9\n"),
             0, kNotObtained);
        page(sjis, "NUL after the address on a marker line", QByteArrayLiteral("YOUR IP IS 203.0.113.9\0<BR>\r\n"), 0,
             kNotObtained);
        page(sjis, "NUL inside the address on a marker line", QByteArrayLiteral("YOUR IP IS 203.0\0.113.9<BR>\r\n"), 0,
             kNotObtained);
        page(sjis, "markup after a bare address", "203.0.113.9<script></script>\n", 0, kNotObtained);
        page(sjis, "blank inside a bare address", "203.0.113. 9\n", 0, kNotObtained);
        page(sjis, "mapped loopback rejected", "::ffff:127.0.0.1\n", 0, kNotObtained);
        page(sjis, "mapped 0.0.0.0 rejected", "::ffff:0.0.0.0\n", 0, kNotObtained);
        page(sjis, "compatible loopback rejected", "::127.0.0.1\n", 0, kNotObtained);

        const QString marker1 = QStringLiteral("<TH>上記ホスト名の正引き</TH><TD> : 192.0.2.44</TD></TR></TABLE>\r\n");
        page(sjis, "marker 1 in windows-31j", CodePage(sjis).encode(marker1), 1, QStringLiteral("192.0.2.44"));
        page(utf8, "marker 1 in UTF-8", marker1.toUtf8(), 1, QStringLiteral("192.0.2.44"));
        page(utf8, "windows-31j page read as UTF-8 misses marker 1", CodePage(sjis).encode(marker1), 0, kNotObtained);

        // A minified page: one long line, the marker far into it.
        const QByteArray tail("YOUR IP IS 192.0.2.1</B></P></BODY>");
        QByteArray longLine = QByteArray(33000, 'x') + tail;
        longLine += QByteArray(40000 - longLine.size(), 'y') + "\r\n";
        QTest::newRow("40,000-character line, marker beyond 32,767")
            << sjis
            << bodyPath(tail + QByteArray(40000 - 33000 - tail.size(), 'y') + "\r\n", QStringLiteral("&pad=33000")) << 1
            << QStringLiteral("192.0.2.1") << longLine;

        const QByteArray marked("YOUR IP IS 192.0.2.1<BR>\r\n");
        QTest::newRow("404 with a marker")
            << sjis << bodyPath(marked, QStringLiteral("&status=404")) << -1 << kUnreachable << QByteArray();
        QTest::newRow("500 with a marker")
            << sjis << bodyPath(marked, QStringLiteral("&status=500")) << -1 << kUnreachable << QByteArray();
        QTest::newRow("refused port") << sjis << QStringLiteral("http://127.0.0.1:%1/") << -1 << kUnreachable
                                      << QByteArray();
        QTest::newRow("oversized body, streamed")
            << sjis << QStringLiteral("/big?size=3000000") << -1 << kUnreachable << QByteArray();
        QTest::newRow("oversized body, announced")
            << sjis << QStringLiteral("/big?size=3000000&length=1") << -1 << kUnreachable << QByteArray();
        QTest::newRow("body of exactly 1 MiB")
            << sjis << QStringLiteral("/big?size=1048576") << 1 << QStringLiteral("192.0.2.1") << QByteArray("<any>");
        QTest::newRow("redirect followed")
            << sjis << QStringLiteral("/redirect?to=") + QString::fromLatin1(QUrl::toPercentEncoding(bodyPath(marked)))
            << 1 << QStringLiteral("192.0.2.1") << marked;
        QTest::newRow("six redirects refused")
            << sjis << redirected(6, bodyPath(marked)) << -1 << kUnreachable << QByteArray();
        // The authority is the test's own, trusted through SSL_CERT_FILE as for the uploads.
        QTest::newRow("https page") << sjis << tlsBase() + bodyPath(marked) << 1 << QStringLiteral("192.0.2.1")
                                    << marked;
        // Without the authority: the page's certificate trusted for its host and port alone, or not at all.
        QTest::newRow("https page, its certificate trusted for it")
            << sjis << QStringLiteral("{trusted}") + tlsBase() + bodyPath(marked) << 1 << QStringLiteral("192.0.2.1")
            << marked;
        QTest::newRow("https page, no authority")
            << sjis << QStringLiteral("{untrusted}") + tlsBase() + bodyPath(marked) << -1 << kUnreachable << QByteArray();
        QTest::newRow("https redirected to http refused")
            << sjis << tlsBase() + redirected(1, base() + bodyPath(marked)) << -1 << kUnreachable << QByteArray();
        QTest::newRow("not a web address")
            << sjis << QStringLiteral("file:///etc/hostname%1") << -1 << kUnreachable << QByteArray();
    }
    void lookup()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QString, path);
        QFETCH(int, state);
        QFETCH(QString, address);
        QFETCH(QByteArray, file);

        const CodePage codePage(codec);
        FakeView view;
        Engine engine(view, codePage);
        shortWaits(engine);
        view.globalUrl = path.startsWith(QLatin1String("file:")) ? path.arg(QString()) : urlFor(path);
        engine.IpCheckState = 1;
        const bool trusted = path.startsWith(QLatin1String("{trusted}"));
        const bool untrusted = path.startsWith(QLatin1String("{untrusted}"));
        const auto authority = qScopeGuard(
            [&] { qputenv("SSL_CERT_FILE", QFile::encodeName(m_keys.filePath(QStringLiteral("ca.pem")))); });
        if (trusted || untrusted) {
            view.globalUrl = path.section(u'}', 1);
            qunsetenv("SSL_CERT_FILE");
        }
        if (trusted)
            QVERIFY(writeFile(QStringLiteral("trusted_certificates.pem"),
                              "# 127.0.0.1:" + QByteArray::number(m_tls.port()) + '\n' +
                                  fileBytes(m_keys.filePath(QStringLiteral("good.pem")))));

        engine.GlobalIPaddress();
        // A certificate no authority vouches for is kept for the window's question.
        QCOMPARE(engine.Inet1.refusedIdentity().worthShowing(), untrusted);

        QCOMPARE(int(engine.IpCheckState), state);
        QCOMPARE(view.ipAddressHistory, QStringList({kChecking, address}));
        QCOMPARE(view.chikanTo0, state == 1 ? address : QStringLiteral("HOSTNAME"));
        QCOMPARE(view.chikanTo1, QStringLiteral("2026/12/06 9:05:07"));
        if (file != "<any>")
            QCOMPARE(fileBytes(QStringLiteral("GLOBALIP.TXT")), file);
        // The address line says why a check failed, by what went wrong.
        static const QHash<QString, QString> why{
            {QStringLiteral("404 with a marker"), QStringLiteral("エラーを返しました (HTTP 404)")},
            {QStringLiteral("refused port"), QStringLiteral("接続できません (接続が拒否されました)")},
            {QStringLiteral("oversized body, streamed"), QStringLiteral("応答が大きすぎます")},
            {QStringLiteral("oversized body, announced"), QStringLiteral("応答が大きすぎます")},
            {QStringLiteral("no marker"), QStringLiteral("応答に IP アドレスがありません")}};
        QCOMPARE(view.ipAddressToolTip.isEmpty(), false);
        QCOMPARE(engine.IpCheckReason.isEmpty(), state == 1);
        if (why.contains(QString::fromLatin1(QTest::currentDataTag())))
            QVERIFY2(view.ipAddressToolTip.contains(why.value(QString::fromLatin1(QTest::currentDataTag()))),
                     qPrintable(view.ipAddressToolTip));
    }

    // With IPv6 looked up too, each page is asked over its own family only, so that neither answer can be
    // taken for the other.
    void lookupWithIpv6_data()
    {
        QTest::addColumn<int>("family"); // the lookup: 4 (GlobalURL) or 6 (GLOBALURL6)
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("address");
        const QString v6 = QStringLiteral("http://[::1]:%1").arg(m_server6.port());
        const QString v4 = base();
        const QByteArray labelled("Current IP Address: 2001:db8::7\r\n");
        QTest::newRow("IPv6 page on [::1]") << 6 << v6 + bodyPath(labelled) << 1 << QStringLiteral("2001:db8::7");
        QTest::newRow("IPv6 page reached over IPv4 only: refused")
            << 6 << v4 + bodyPath(labelled) << -1 << kUnreachable;
        QTest::newRow("IPv6 page answering an IPv4 address")
            << 6 << v6 + bodyPath("Current IP Address: 192.0.2.1\r\n") << 0 << kNotObtained;
        QTest::newRow("IPv4 page reached over IPv6 only: refused")
            << 4 << v6 + bodyPath("YOUR IP IS 192.0.2.1<BR>\r\n") << -1 << kUnreachable;
        QTest::newRow("IPv4 page answering an IPv6 address") << 4 << v4 + bodyPath(labelled) << 0 << kNotObtained;
    }
    void lookupWithIpv6()
    {
        QFETCH(int, family);
        QFETCH(QString, url);
        QFETCH(int, state);
        QFETCH(QString, address);
        FakeView view;
        const CodePage codePage("UTF-8");
        Engine engine(view, codePage);
        shortWaits(engine);
        engine.settings.global.USEIPV6 = Ipv6EchoPage;
        view.globalUrl = url;
        engine.settings.global.GLOBALURL6 = url;
        if (family == 6) {
            engine.GlobalIPv6address();
            QCOMPARE(int(engine.IpCheckState6), state);
            QCOMPARE(view.ipAddress6, address);
            QCOMPARE(view.chikanTo2, state == 1 ? address : QStringLiteral("HOSTNAME6"));
            QCOMPARE(engine.IpCheckReason6.isEmpty(), state == 1);
            QCOMPARE(fileBytes(QStringLiteral("GLOBALIP6.TXT")).isEmpty(), state == -1);
            QVERIFY(!QFile::exists(QStringLiteral("GLOBALIP.TXT")));
        } else {
            engine.GlobalIPaddress();
            QCOMPARE(int(engine.IpCheckState), state);
            QCOMPARE(view.ipAddress, address);
            QCOMPARE(view.ipAddress6, QString()); // the IPv4 lookup leaves the IPv6 address alone
        }
    }

    void shorterAnswerAfterLongerOne()
    {
        FakeView view;
        const CodePage codePage("windows-31j"); // the engine keeps a reference
        Engine engine(view, codePage);
        shortWaits(engine);
        const QByteArray longer("<HTML>\r\n<BODY>\r\nYOUR IP IS 198.51.100.1<BR>\r\n" + QByteArray(500, 'z'));
        const QByteArray shorter("YOUR IP IS 192.0.2.2<BR>\r\n");
        view.globalUrl = base() + bodyPath(longer);
        engine.GlobalIPaddress();
        QCOMPARE(fileBytes(QStringLiteral("GLOBALIP.TXT")), longer);
        view.globalUrl = base() + bodyPath(shorter);
        engine.GlobalIPaddress();
        QCOMPARE(fileBytes(QStringLiteral("GLOBALIP.TXT")), shorter);
        QCOMPARE(view.ipAddress, QStringLiteral("192.0.2.2"));
        // A failed fetch leaves the file empty, not holding the last answer.
        view.globalUrl = base() + bodyPath(shorter, QStringLiteral("&status=500"));
        engine.GlobalIPaddress();
        QCOMPARE(fileBytes(QStringLiteral("GLOBALIP.TXT")), QByteArray());
        QCOMPARE(view.ipAddress, kUnreachable);
    }

    void urlIsReadFromTheBoxAtCallTime()
    {
        FakeView view;
        const CodePage codePage("UTF-8"); // the engine keeps a reference
        Engine engine(view, codePage);
        shortWaits(engine);
        engine.settings.global.GLOBALURL = QStringLiteral("http://127.0.0.1:%1/").arg(unusedLoopbackPort());
        const QString path = bodyPath("IP ADDRESS: 192.0.2.99\r\n", QStringLiteral("&from=box"));
        view.globalUrl = base() + path;
        m_server.process().readAllStandardOutput();
        engine.GlobalIPaddress();
        QCOMPARE(int(engine.IpCheckState), 1);
        QCOMPARE(view.ipAddress, QStringLiteral("192.0.2.99"));
        QByteArray requests;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (requests += m_server.process().readAllStandardOutput()).contains("GET " + path.toLatin1()),
            requests.constData(), scaledMs(5000));
    }

    void answerFileCannotBeCreated()
    {
        QVERIFY(QDir().mkdir(QStringLiteral("GLOBALIP.TXT")));
        FakeView view;
        const CodePage codePage("UTF-8"); // the engine keeps a reference
        Engine engine(view, codePage);
        view.globalUrl = base() + bodyPath("YOUR IP IS 192.0.2.1<BR>\r\n");
        engine.GlobalIPaddress();
        QCOMPARE(int(engine.IpCheckState), -1);
        QCOMPARE(view.ipAddress, kUnreachable);
        QCOMPARE(view.chikanTo0, QStringLiteral("HOSTNAME"));
    }

    void silentServerEndsWithinTheBoundedWait()
    {
        FakeView view;
        const CodePage codePage("UTF-8"); // the engine keeps a reference
        Engine engine(view, codePage);
        engine.Inet1.setTimeouts(1000ms, 1500ms);
        view.globalUrl = base() + QStringLiteral("/silent");
        QElapsedTimer clock;
        clock.start();
        engine.GlobalIPaddress();
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(int(engine.IpCheckState), -1);
        QCOMPARE(view.ipAddress, kUnreachable);
        QVERIFY2(elapsed >= 1400 && elapsed < scaledMs(5000), qPrintable(QString::number(elapsed)));
    }

    void windowStaysResponsiveAndIdleDuringSlowFetch()
    {
        FakeView view;
        const CodePage codePage("UTF-8"); // the engine keeps a reference
        Engine engine(view, codePage);
        engine.Inet1.setTimeouts(2000ms, 10000ms);
        const QByteArray body("YOUR IP IS 192.0.2.3<BR>\r\n");
        view.globalUrl = base() + QStringLiteral("/slow?seconds=2&b64=") +
                         QString::fromLatin1(body.toBase64(QByteArray::Base64UrlEncoding));
        int ticks = 0;
        QTimer timer;
        timer.setInterval(50);
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start();

        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = processCpuSeconds();
        engine.GlobalIPaddress();
        const double cpu = processCpuSeconds() - cpuBefore;
        const double seconds = double(wall.elapsed()) / 1000.0;

        QCOMPARE(int(engine.IpCheckState), 1);
        QCOMPARE(view.ipAddress, QStringLiteral("192.0.2.3"));
        QVERIFY2(seconds >= 1.8, qPrintable(QString::number(seconds)));
        QVERIFY2(ticks >= 15, qPrintable(QString::number(ticks)));
        qInfo("slow fetch: %.2f s wall, %.3f s CPU (%.1f%%), %d timer ticks", seconds, cpu, 100.0 * cpu / seconds,
              ticks);
        QVERIFY2(cpu < 0.25 * seconds, qPrintable(QString::number(cpu)));
    }

    void untrustedCertificateIsRefused()
    {
        QTemporaryDir keys;
        const QString cert = keys.filePath(QStringLiteral("cert.pem"));
        const QString key = keys.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                       QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                       QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), key,
                       QStringLiteral("-out"), cert});
        const bool made = openssl.waitForFinished(scaledMs(30000)) && openssl.exitStatus() == QProcess::NormalExit &&
                          openssl.exitCode() == 0;
        if (!made)
            QSKIP("openssl cannot make a test certificate");
        ServerProcess tls;
        QVERIFY2(tls.start(QStringLiteral("http_echo_server.py"), {QStringLiteral("--tls"), cert, key}),
                 qPrintable(tls.error()));
        HttpTransfer transfer;
        transfer.setTimeouts(2000ms, 5000ms);
        const auto body = transfer.OpenURL(QStringLiteral("https://127.0.0.1:%1").arg(tls.port()) + bodyPath("ok"));
        QVERIFY(!body.has_value());
        QVERIFY2(transfer.lastError().contains(QLatin1String("certificate"), Qt::CaseInsensitive),
                 qPrintable(transfer.lastError()));
    }

    void cancelEndsARunningFetch()
    {
        HttpTransfer transfer;
        transfer.setTimeouts(2000ms, 20000ms);
        std::optional<QByteArray> nested = QByteArray("untouched");
        QTimer::singleShot(300, this, [&] {
            nested = transfer.OpenURL(base() + bodyPath("x")); // busy: refused, does not block
            transfer.Cancel();
        });
        QElapsedTimer clock;
        clock.start();
        const auto body = transfer.OpenURL(base() + QStringLiteral("/silent"));
        QVERIFY(!body.has_value());
        QVERIFY(!nested.has_value());
        QVERIFY2(clock.elapsed() < scaledMs(5000), qPrintable(QString::number(clock.elapsed())));
        // The object is usable again afterwards.
        const auto again = transfer.OpenURL(base() + bodyPath("ok"));
        QVERIFY(again.has_value());
        QCOMPARE(*again, QByteArray("ok"));
    }
};

QTEST_GUILESS_MAIN(TestGlobalLookup)
#include "test_global_lookup.moc"
