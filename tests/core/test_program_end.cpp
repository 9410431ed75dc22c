#include "server_process.h"
#include "settings/ini_file.h"
#include "test_files.h"
#include "test_timeouts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The built program, ended the way a service manager or a terminal ends it: it must save its settings,
// make the exit-time transfer, log "END" and leave with status 0.
class TestProgramEnd : public QObject
{
    Q_OBJECT
private slots:
    void endsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void endsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir work;
        QTemporaryDir root;
        QVERIFY(work.isValid() && root.isValid());
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("public_html")));
        ServerProcess server;
        QVERIFY2(server.start(QStringLiteral("ftp_server.py"), {QStringLiteral("--root"), root.path()}),
                 qPrintable(server.error()));

        // The settings file, written in the program's own format from the current directory.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        SettingsModel settings;
        settings.applyDefaults();
        settings.global.GLOBALURL = QStringLiteral("http://127.0.0.1:%1/").arg(unusedLoopbackPort());
        settings.global.LOG = 1;
        settings.global.AUTOEXEC = 1;
        settings.global.FTPSERVERNAME = QStringLiteral("ftp://127.0.0.1:%1").arg(server.port());
        settings.global.FTPUSERID = QStringLiteral("veltora");
        settings.global.FTPUSERPASS = QStringLiteral("secret");
        TransferSlot& slot = settings.slot[0];
        slot.OKCHECK = 1;
        slot.TEMPLATE = QStringLiteral("page.html");
        slot.FTPDIR = QStringLiteral("public_html/");
        slot.FTPFILENAME = QStringLiteral("index.html");
        slot.EXEC_TIMING1 = false;
        slot.EXEC_TIMING2 = false;
        slot.EXEC_TIMING3 = true;
        const bool saved = Save_ini(settings, CodePage::system());
        QDir::setCurrent(previous);
        QVERIFY(saved);

        const QString iniPath = work.filePath(QString::fromLatin1(SettingsFileName));
        const QByteArray iniBefore = fileBytes(iniPath);
        {
            // An old time stamp, so that a rewrite shows even within the same second.
            QFile ini(iniPath);
            QVERIFY(ini.open(QIODevice::ReadWrite));
            QVERIFY(ini.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        }
        const QDateTime mtimeBefore = QFileInfo(iniPath).lastModified();
        {
            QFile page(work.filePath(QStringLiteral("page.html")));
            QVERIFY(page.open(QIODevice::WriteOnly));
            page.write("<p>HOSTNAME NOWDTTM</p>\r\n");
        }

        QProcess program;
        program.setWorkingDirectory(work.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(VELTORA_BINARY), {QStringLiteral("--dir"), QStringLiteral(".")});
        QVERIFY2(program.waitForStarted(scaledMs(10000)), qPrintable(program.errorString()));

        const QString logFile = work.filePath(QStringLiteral("Veltora.log"));
        QTRY_VERIFY_WITH_TIMEOUT(logEvents(logFile).contains(QStringLiteral("START")), scaledMs(15000));
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(program.state() == QProcess::Running && program.processId() > 0);
        QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);

        QVERIFY2(program.waitForFinished(scaledMs(60000)), "the program did not end");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        QCOMPARE(fileBytes(root.filePath(QStringLiteral("public_html/index.html"))),
                 fileBytes(work.filePath(QStringLiteral("page.html$$0"))));
        QVERIFY(QFileInfo(iniPath).lastModified() > mtimeBefore);
        QCOMPARE(fileBytes(iniPath), iniBefore); // nothing changed, written all the same
        // The echo page is not reached at the end: the check's failure is followed by its reason.
        const QStringList expected{QStringLiteral("START"), QStringLiteral("IPアドレス確認(終了時)"),
                                   QStringLiteral("失敗理由"), QStringLiteral("ファイル転送(終了時)"),
                                   QStringLiteral("END")};
        QCOMPARE(logEvents(logFile), expected);
    }
};

QTEST_GUILESS_MAIN(TestProgramEnd)
#include "test_program_end.moc"
