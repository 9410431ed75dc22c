#include "fake_view.h"
#include "run/engine.h"
#include "server_process.h"
#include "test_files.h"
#include "test_timeouts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

const QString stamp = QStringLiteral(" (2026/12/06 9:05:07)");

} // namespace

class TestFtpUpload : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_local = std::make_unique<QTemporaryDir>();
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_local->isValid() && m_root->isValid());
        QVERIFY(QDir::setCurrent(m_local->path()));
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("public_html/sub dir")));
        Clock::setNow(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7)));
        m_view = std::make_unique<FakeView>();
        m_engine = std::make_unique<Engine>(*m_view, CodePage("UTF-8"));
        m_engine->Inet2.setTimeouts({2000, 2, 1000, 2});
        m_engine->settings.global.FTPUSERID = QStringLiteral("veltora");
        m_engine->settings.global.FTPUSERPASS = QStringLiteral("secret");
    }
    void cleanup()
    {
        m_engine.reset();
        m_server.stop();
        Clock::reset();
    }

    void uploads_data()
    {
        QTest::addColumn<QString>("templateName");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("remoteName");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("remotePath");

        QTest::newRow("into the directory")
            << QStringLiteral("TEMPLATE.HTML") << QStringLiteral("public_html/") << QStringLiteral("veltora.html")
            << 200000 << QStringLiteral("public_html/veltora.html");
        QTest::newRow("empty FTPDIR") << QStringLiteral("TEMPLATE.HTML") << QString() << QStringLiteral("index.html")
                                      << 5000 << QStringLiteral("index.html");
        QTest::newRow("absolute directory")
            << QStringLiteral("TEMPLATE.HTML") << QStringLiteral("/public_html") << QStringLiteral("abs.html") << 100
            << QStringLiteral("public_html/abs.html");
        QTest::newRow("names with blanks")
            << QStringLiteral("my page.html") << QStringLiteral("public_html/sub dir")
            << QStringLiteral("home page.html") << 3000 << QStringLiteral("public_html/sub dir/home page.html");
        QTest::newRow("Japanese remote name")
            << QStringLiteral("設定.html") << QStringLiteral("public_html") << QStringLiteral("自宅.html") << 100
            << QStringLiteral("public_html/自宅.html");
        QTest::newRow("empty work file") << QStringLiteral("empty.html") << QStringLiteral("public_html/")
                                         << QStringLiteral("empty.html") << 0
                                         << QStringLiteral("public_html/empty.html");
    }
    void uploads()
    {
        QFETCH(QString, templateName);
        QFETCH(QString, directory);
        QFETCH(QString, remoteName);
        QFETCH(int, size);
        QFETCH(QString, remotePath);
        QVERIFY2(startServer({}), qPrintable(m_server.error()));
        const QByteArray content = randomBytes(size);
        setSlot(2, templateName, directory, remoteName, content);
        QCOMPARE(m_engine->FTPputFILE(2), qint16(3));
        QCOMPARE(m_engine->settings.slot[2].ResultText, QStringLiteral("[設定3] 実行完了") + stamp);
        QCOMPARE(m_view->ftpNow, m_engine->settings.slot[2].ResultText);
        QVERIFY(fileBytes(m_root->filePath(remotePath)) == content);
    }

    void substitutedPageArrives()
    {
        QVERIFY2(startServer({}), qPrintable(m_server.error()));
        QVERIFY(writeFile(QStringLiteral("TEMPLATE.HTML"), "<p>HOSTNAME</p>\r\n"));
        TransferSlot& slot = m_engine->settings.slot[0];
        slot.TEMPLATE = QStringLiteral("TEMPLATE.HTML");
        slot.HOSTNAME = QStringLiteral("HOSTNAME");
        slot.HOSTNAMEEXEC = 1;
        slot.FTPDIR = QStringLiteral("public_html/");
        slot.FTPFILENAME = QStringLiteral("veltora.html");
        m_view->chikanTo0 = QStringLiteral("203.0.113.9");
        QCOMPARE(m_engine->CHIKAN(0), qint16(0));
        QCOMPARE(m_engine->FTPputFILE(0), qint16(3));
        QCOMPARE(fileBytes(m_root->filePath(QStringLiteral("public_html/veltora.html"))),
                 QByteArray("<p>203.0.113.9</p>\r\n"));
    }

    // Each fault ends in its stage and text within the bounded waits; the next upload to a healthy server
    // then succeeds on the same component.
    void faults_data()
    {
        QTest::addColumn<QStringList>("serverArguments");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("stage");
        QTest::addColumn<QString>("state");

        const QString dir = QStringLiteral("public_html/");
        const QString transfer = QStringLiteral("FTP転送失敗");
        QTest::newRow("URL without host") << QStringList() << QStringLiteral("ftp://") << QStringLiteral("secret")
                                          << dir << 100 << 0 << QStringLiteral("FTP接続失敗");
        QTest::newRow("unsupported scheme")
            << QStringList() << QStringLiteral("gopher://127.0.0.1/") << QStringLiteral("secret") << dir << 100 << 0
            << QStringLiteral("FTP接続失敗");
        QTest::newRow("nothing listening")
            << QStringList() << QStringLiteral("ftp://127.0.0.1:%1").arg(unusedLoopbackPort())
            << QStringLiteral("secret") << dir << 100 << 1 << transfer;
        QTest::newRow("wrong password") << QStringList() << QString() << QStringLiteral("wrong") << dir << 100 << 1
                                        << transfer;
        QTest::newRow("missing directory") << QStringList() << QString() << QStringLiteral("secret")
                                           << QStringLiteral("no_such_dir/") << 100 << 1 << transfer;
        QTest::newRow("STOR refused") << QStringList{QStringLiteral("--mode"), QStringLiteral("stor-refused")}
                                      << QString() << QStringLiteral("secret") << dir << 100 << 1 << transfer;
        QTest::newRow("disk full") << QStringList{QStringLiteral("--mode"), QStringLiteral("disk-full")} << QString()
                                   << QStringLiteral("secret") << dir << 100000 << 1 << transfer;
        QTest::newRow("connection dropped during STOR")
            << QStringList{QStringLiteral("--mode"), QStringLiteral("drop-during-stor")} << QString()
            << QStringLiteral("secret") << dir << 4000000 << 1 << transfer;
        QTest::newRow("server goes silent") << QStringList{QStringLiteral("--mode"), QStringLiteral("silent")}
                                            << QString() << QStringLiteral("secret") << dir << 100 << 1 << transfer;
        QTest::newRow("transfer stalls below the low-speed limit")
            << QStringList{QStringLiteral("--rate"), QStringLiteral("300")} << QString() << QStringLiteral("secret")
            << dir << 16000000 << 1 << transfer; // more than the socket buffers take at once
        QTest::newRow("QUIT unanswered") << QStringList{QStringLiteral("--mode"), QStringLiteral("quit-silent")}
                                         << QString() << QStringLiteral("secret") << dir << 100 << 2
                                         << QStringLiteral("FTP切断失敗");
    }
    void faults()
    {
        QFETCH(QStringList, serverArguments);
        QFETCH(QString, url);
        QFETCH(QString, password);
        QFETCH(QString, directory);
        QFETCH(int, size);
        QFETCH(int, stage);
        QFETCH(QString, state);

        if (url.isEmpty())
            QVERIFY2(startServer(serverArguments), qPrintable(m_server.error()));
        else
            m_engine->settings.global.FTPSERVERNAME = url;
        m_engine->settings.global.FTPUSERPASS = password;
        const QByteArray content = randomBytes(size);
        setSlot(4, QStringLiteral("page.html"), directory, QStringLiteral("page.html"), content);

        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(m_engine->FTPputFILE(4), qint16(stage));
        QVERIFY2(elapsed.elapsed() < scaledMs(20000), qPrintable(QString::number(elapsed.elapsed())));
        qInfo("%lld ms: %s", elapsed.elapsed(), qPrintable(m_engine->Inet2.lastErrorText()));
        QCOMPARE(m_engine->settings.slot[4].ResultText, QStringLiteral("[設定5] ") + state + stamp);
        QCOMPARE(m_view->ftpNow, m_engine->settings.slot[4].ResultText);
        if (stage < 2)
            QVERIFY(fileBytes(m_root->filePath(QStringLiteral("public_html/page.html"))) != content);

        m_server.stop();
        m_engine->settings.global.FTPUSERPASS = QStringLiteral("secret");
        setSlot(4, QStringLiteral("page.html"), QStringLiteral("public_html/"), QStringLiteral("after.html"), content);
        QVERIFY2(startServer({}), qPrintable(m_server.error()));
        QCOMPARE(m_engine->FTPputFILE(4), qint16(3));
        QVERIFY(fileBytes(m_root->filePath(QStringLiteral("public_html/after.html"))) == content);
    }

    void outsideRangeTouchesNothing_data()
    {
        QTest::addColumn<int>("No");
        QTest::newRow("-1") << -1;
        QTest::newRow("9") << 9;
    }
    void outsideRangeTouchesNothing()
    {
        QFETCH(int, No);
        m_engine->settings.global.FTPSERVERNAME = QStringLiteral("ftp://");
        QCOMPARE(m_engine->FTPputFILE(qint16(No)), qint16(0));
        QCOMPARE(m_view->ftpNow, QStringLiteral("未実行"));
        QVERIFY(m_engine->Inet2.URL().isEmpty());
    }

    // A command already running on the component: the upload's "CD" meets 35764, is issued again after the
    // pauses, and the upload completes once the earlier command has ended.
    void busyComponentIsRetried()
    {
        QVERIFY2(startServer({QStringLiteral("--rate"), QStringLiteral("200000")}), qPrintable(m_server.error()));
        const QByteArray earlier = randomBytes(300000);
        QVERIFY(writeFile(QStringLiteral("earlier.bin"), earlier));
        FtpTransfer& inet = m_engine->Inet2;
        QCOMPARE(inet.setURL(m_engine->settings.global.FTPSERVERNAME), 0);
        inet.setUserName(QStringLiteral("veltora"));
        inet.setPassword(QStringLiteral("secret"));
        QCOMPARE(inet.Execute(QStringLiteral("PUT earlier.bin public_html/earlier.bin")), 0);
        QCOMPARE(inet.Execute(QStringLiteral("QUIT")), FtpTransfer::StillExecutingError);

        const QByteArray content = randomBytes(1000);
        setSlot(0, QStringLiteral("page.html"), QStringLiteral("public_html"), QStringLiteral("page.html"), content);
        QCOMPARE(m_engine->FTPputFILE(0), qint16(3));
        QVERIFY(fileBytes(m_root->filePath(QStringLiteral("public_html/earlier.bin"))) == earlier);
        QVERIFY(fileBytes(m_root->filePath(QStringLiteral("public_html/page.html"))) == content);
    }

    // The window's thread handles its events during a slow upload and the wait costs little CPU.
    void eventsHandledDuringSlowUpload()
    {
        QVERIFY2(startServer({QStringLiteral("--rate"), QStringLiteral("100000")}), qPrintable(m_server.error()));
        // The socket buffers take the whole file at once; the server's answer comes once it has read it all.
        m_engine->Inet2.setTimeouts({2000, 10, 1000, 5});
        const QByteArray content = randomBytes(250000);
        setSlot(0, QStringLiteral("page.html"), QStringLiteral("public_html/"), QStringLiteral("slow.html"), content);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(20);
        QElapsedTimer elapsed;
        elapsed.start();
        const double cpuBefore = processCpuSeconds();
        QCOMPARE(m_engine->FTPputFILE(0), qint16(3));
        const double cpu = processCpuSeconds() - cpuBefore;
        const qint64 wall = elapsed.elapsed();
        qInfo("throttled upload: %lld ms wall, %.3f s CPU, %d timer ticks", wall, cpu, ticks);
        QVERIFY(wall > 1500);
        QVERIFY2(ticks > wall / 20 / 2, qPrintable(QString::number(ticks)));
        QVERIFY(fileBytes(m_root->filePath(QStringLiteral("public_html/slow.html"))) == content);
    }

    void cancelEndsCommandWithinASecond_data()
    {
        QTest::addColumn<QStringList>("serverArguments");
        QTest::addColumn<QString>("command");
        QTest::newRow("throttled STOR") << QStringList{QStringLiteral("--rate"), QStringLiteral("20000")}
                                        << QStringLiteral("PUT big.bin public_html/big.bin");
        QTest::newRow("silent server") << QStringList{QStringLiteral("--mode"), QStringLiteral("silent")}
                                       << QStringLiteral("CD public_html");
    }
    void cancelEndsCommandWithinASecond()
    {
        QFETCH(QStringList, serverArguments);
        QFETCH(QString, command);
        QVERIFY2(startServer(serverArguments), qPrintable(m_server.error()));
        QVERIFY(writeFile(QStringLiteral("big.bin"), randomBytes(2000000)));
        FtpTransfer& inet = m_engine->Inet2;
        inet.setTimeouts({2000, 60, 1, 60});
        QCOMPARE(inet.setURL(m_engine->settings.global.FTPSERVERNAME), 0);
        inet.setUserName(QStringLiteral("veltora"));
        inet.setPassword(QStringLiteral("secret"));
        QCOMPARE(inet.Execute(command), 0);
        QTest::qWait(500);
        bool executing = false;
        QCOMPARE(inet.StillExecuting(executing), 0);
        QVERIFY(executing);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(inet.Cancel(), 0);
        int result = 0;
        do {
            result = inet.StillExecuting(executing);
            if (executing)
                Toolkit::waitForEvents();
        } while (executing);
        QVERIFY2(elapsed.elapsed() < scaledMs(1000), qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(result, FtpTransfer::CancelledError);
        QCOMPARE(inet.StillExecuting(executing), 0); // reported once
    }

    // A component that stays busy past the retry limit: the upload gives up after 501 retries.
    void retryLimitEndsUpload()
    {
        QVERIFY2(startServer({QStringLiteral("--mode"), QStringLiteral("silent")}), qPrintable(m_server.error()));
        FtpTransfer& inet = m_engine->Inet2;
        inet.setTimeouts({2000, 600, 1, 600});
        QCOMPARE(inet.setURL(m_engine->settings.global.FTPSERVERNAME), 0);
        QCOMPARE(inet.Execute(QStringLiteral("CD public_html")), 0);
        setSlot(1, QStringLiteral("page.html"), QStringLiteral("public_html"), QStringLiteral("page.html"), "x");
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(m_engine->FTPputFILE(1), qint16(1));
        qInfo("501 retries took %lld ms", elapsed.elapsed());
        QCOMPARE(m_engine->settings.slot[1].ResultText, QStringLiteral("[設定2] FTP転送失敗") + stamp);
    }

    void splitPutArguments_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::newRow("plain") << QStringLiteral("TEMPLATE.HTML$$0 veltora.html") << QStringLiteral("TEMPLATE.HTML$$0")
                               << QStringLiteral("veltora.html");
        QTest::newRow("blanks on both sides") << QStringLiteral("my page.html$$7 home page.html")
                                              << QStringLiteral("my page.html$$7") << QStringLiteral("home page.html");
        QTest::newRow("empty remote name") << QStringLiteral("a.html$$0 ") << QStringLiteral("a.html$$0") << QString();
        QTest::newRow("no work-file ending: first blank")
            << QStringLiteral("a.bin b c") << QStringLiteral("a.bin") << QStringLiteral("b c");
        QTest::newRow("existing file wins") << QStringLiteral("odd$$1 name.html$$2 r.html")
                                            << QStringLiteral("odd$$1 name.html$$2") << QStringLiteral("r.html");
    }
    void splitPutArguments()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QVERIFY(writeFile(QStringLiteral("odd$$1 name.html$$2"), "x"));
        QString gotLocal;
        QString gotRemote;
        QVERIFY(FtpTransfer::splitPutArguments(arguments, gotLocal, gotRemote));
        QCOMPARE(gotLocal, local);
        QCOMPARE(gotRemote, remote);
    }

private:
    bool startServer(const QStringList& arguments)
    {
        const bool started = m_server.start(QStringLiteral("ftp_server.py"),
                                            QStringList{QStringLiteral("--root"), m_root->path()} + arguments);
        m_engine->settings.global.FTPSERVERNAME = QStringLiteral("ftp://127.0.0.1:%1").arg(m_server.port());
        return started;
    }

    void setSlot(int No, const QString& templateName, const QString& directory, const QString& remoteName,
                 const QByteArray& content)
    {
        TransferSlot& slot = m_engine->settings.slot[No];
        slot.TEMPLATE = templateName;
        slot.FTPDIR = directory;
        slot.FTPFILENAME = remoteName;
        QVERIFY(writeFile(templateName + QStringLiteral("$$") + QString::number(No), content));
    }

    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<FakeView> m_view;
    std::unique_ptr<Engine> m_engine;
    ServerProcess m_server;
};

QTEST_GUILESS_MAIN(TestFtpUpload)
#include "test_ftp_upload.moc"
