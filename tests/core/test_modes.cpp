#include "platform/ftp_transfer.h"
#include "program_process.h"
#include "server_process.h"
#include "settings/ini_file.h"
#include "test_files.h"
#include "test_timeouts.h"
#include "unprivileged.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Template = QStringLiteral("page.html");
const QByteArray TemplateText = "<p>HOSTNAME at NOWDTTM</p>\r\n";
const QString OnChangePage = QStringLiteral("index.html");
const QString ExitPage = QStringLiteral("exit.html");

} // namespace

// The modes without a window, run as the real program with no display: exit statuses, what reaches the FTP
// server, what they print, the state carried between one-shot runs and the one instance per folder. The
// echo page is a loopback server answering with a file the test rewrites; uploads go to a loopback FTP
// server, restarted with a fault where a row asks for one.
class TestModes : public QObject
{
    Q_OBJECT

private:
    ServerProcess m_echo;
    ServerProcess m_echo6; // on [::1]
    ServerProcess m_ftp;
    std::unique_ptr<TemporaryWorkDir> m_work;
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_echoFile;

    QString work(const QString& name) const { return m_work->filePath(name); }
    QString remote(const QString& name) const { return m_root->filePath(QStringLiteral("public_html/") + name); }

    QString echoUrl() const
    {
        return QStringLiteral("http://127.0.0.1:%1/file?path=%2")
            .arg(m_echo.port())
            .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_echoFile)));
    }

    void answerAddress(const QString& address)
    {
        QVERIFY(writeFile(m_echoFile, "<html><body>Current IP Address: " + address.toLatin1() + "</body></html>\r\n"));
    }

    // The IPv6 address looked up too, from an echo page on [::1] answering `address` (empty: a refused port);
    // slot 1 puts it into its page.
    void enableIpv6(const QString& address)
    {
        const QString file = m_root->filePath(QStringLiteral("echo6.txt"));
        QVERIFY(writeFile(file, "Current IP Address: " + address.toLatin1() + "\r\n"));
        QVERIFY(writeFile(work(Template), TemplateText + "<p>HOSTNAME6</p>\r\n"));
        SettingsModel settings;
        settings.applyDefaults();
        Load_ini(settings, CodePage::system());
        settings.global.USEIPV6 = Ipv6EchoPage;
        settings.global.GLOBALURL6 = QStringLiteral("http://[::1]:%1/file?path=%2")
                                         .arg(address.isEmpty() ? unusedLoopbackPort() : m_echo6.port())
                                         .arg(QString::fromLatin1(QUrl::toPercentEncoding(file)));
        settings.slot[0].HOSTNAME6EXEC = 1;
        QVERIFY(Save_ini(settings, CodePage::system()));
    }

    void startFtp(const QString& mode = QStringLiteral("normal"))
    {
        QVERIFY2(m_ftp.start(QStringLiteral("ftp_server.py"),
                             {QStringLiteral("--root"), m_root->path(), QStringLiteral("--mode"), mode}),
                 qPrintable(m_ftp.error()));
    }

    // Slot 1 uploads on change, slot 2 at exit; LOG on. echoUrl empty: a refused port.
    void writeSettings(const QString& echo, const CodePage& codePage = CodePage::system(), int log = 1,
                       int autoExec = 0)
    {
        SettingsModel settings;
        settings.applyDefaults();
        settings.global.GLOBALURL =
            echo.isEmpty() ? QStringLiteral("http://127.0.0.1:%1/").arg(unusedLoopbackPort()) : echo;
        settings.global.LOG = qint16(log);
        settings.global.AUTOEXEC = qint16(autoExec);
        settings.global.FTPSERVERNAME = QStringLiteral("ftp://127.0.0.1:%1").arg(m_ftp.port());
        settings.global.FTPUSERID = QStringLiteral("veltora");
        settings.global.FTPUSERPASS = QStringLiteral("secret");
        for (int No : {0, 1}) {
            TransferSlot& slot = settings.slot[No];
            slot.OKCHECK = 1;
            slot.TEMPLATE = Template;
            slot.FTPDIR = QStringLiteral("public_html/");
            slot.FTPFILENAME = No == 0 ? OnChangePage : ExitPage;
            slot.EXEC_TIMING1 = false;
            slot.EXEC_TIMING2 = No == 0;
            slot.EXEC_TIMING3 = No == 1;
        }
        QVERIFY(Save_ini(settings, codePage));
    }

    // Changes the folder as `how` says: "link NAME" a link to NAME outside the folder (none there yet),
    // "fifo NAME" a named pipe, "chmod NAME MODE" (octal), "rename FROM TO".
    void prepareFolder(const QString& how)
    {
        const QStringList word = how.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (word.value(0) == QLatin1String("link"))
            QVERIFY(QFile::link(m_root->filePath(word[1]), work(word[1])));
        else if (word.value(0) == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(work(word[1])).constData(), 0600), 0);
        else if (word.value(0) == QLatin1String("chmod"))
            QCOMPARE(::chmod(QFile::encodeName(work(word[1])).constData(), mode_t(word[2].toUInt(nullptr, 8))), 0);
        else if (word.value(0) == QLatin1String("rename"))
            QVERIFY(QFile::rename(work(word[1]), work(word[2])));
    }

    QStringList folderEntries() const
    {
        return QDir(m_work->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_echo.start(QStringLiteral("http_echo_server.py")), qPrintable(m_echo.error()));
        QVERIFY2(m_echo6.start(QStringLiteral("http_echo_server.py"), {QStringLiteral("--ipv6")}),
                 qPrintable(m_echo6.error()));
    }

    void init()
    {
        m_work = std::make_unique<TemporaryWorkDir>();
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_work->isValid() && m_root->isValid());
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("public_html")));
        m_echoFile = m_root->filePath(QStringLiteral("echo.txt"));
        QVERIFY(writeFile(work(Template), TemplateText));
        startFtp();
    }

    void cleanup()
    {
        m_ftp.stop();
        m_work.reset();
        m_root.reset();
    }

    // Each step: the address the echo page gives ("-" a refused port), the FTP server's mode, the exit
    // status, and whether the on-change page reaches the server. "damage" breaks the state file instead;
    // "fifo NAME" puts a named pipe in a file's place, "link NAME" a symbolic link to a file outside the folder,
    // which must keep its bytes.
    void onceRuns_data()
    {
        QTest::addColumn<QStringList>("steps");
        const QString first = QStringLiteral("192.0.2.1 normal 0 up");
        QTest::newRow("first run uploads") << QStringList{first};
        QTest::newRow("same address again uploads nothing") << QStringList{first, "192.0.2.1 normal 0 -"};
        QTest::newRow("a changed address uploads again")
            << QStringList{first, "192.0.2.1 normal 0 -", "198.51.100.7 normal 0 up"};
        QTest::newRow("a refused upload exits 2, the next run retries it")
            << QStringList{"192.0.2.1 stor-refused 2 -", "192.0.2.1 normal 0 up", "192.0.2.1 normal 0 -"};
        QTest::newRow("a failed check exits 1 and uploads nothing") << QStringList{"- normal 1 -"};
        QTest::newRow("after a failed check the same address is a change")
            << QStringList{first, "- normal 1 -", "192.0.2.1 normal 0 up"};
        QTest::newRow("a damaged state file counts as a change") << QStringList{first, "damage", first};
        // "v6=ADDRESS": the IPv6 address looked up too; the page carries both.
        QTest::newRow("the IPv6 address changed alone uploads again")
            << QStringList{"192.0.2.1 normal 0 up v6=2001:db8::1", "192.0.2.1 normal 0 - v6=2001:db8::1",
                           "192.0.2.1 normal 0 up v6=2001:db8::2"};
        QTest::newRow("no IPv6 address: its page is held back (exit 2) until there is one")
            << QStringList{"192.0.2.1 normal 2 - v6=", "192.0.2.1 normal 0 up v6=2001:db8::1"};
        // A settings file written by hand on Linux, LF ended.
        QTest::newRow("settings with LF line ends") << QStringList{"192.0.2.1 normal 0 up lf"};
        // Nothing waits on a pipe, nothing is written through a link: the step that would fails, the run goes on.
        QTest::newRow("a pipe as the template") << QStringList{"fifo page.html", "192.0.2.1 normal 2 -"};
        QTest::newRow("a pipe as GLOBALIP.TXT") << QStringList{"fifo GLOBALIP.TXT", "192.0.2.1 normal 1 -"};
        QTest::newRow("a pipe as the log") << QStringList{"fifo Veltora.log", first};
        QTest::newRow("a pipe as the state file") << QStringList{"fifo Veltora.state", first, first};
        QTest::newRow("a link as the work file") << QStringList{"link page.html$$0", "192.0.2.1 normal 2 -"};
        QTest::newRow("a link as GLOBALIP.TXT") << QStringList{"link GLOBALIP.TXT", "192.0.2.1 normal 1 -"};
        QTest::newRow("a link as the log") << QStringList{"link Veltora.log", first};
        QTest::newRow("a link as the state file") << QStringList{"link Veltora.state", first, first};
    }
    void onceRuns()
    {
        QFETCH(QStringList, steps);
        int number = 0;
        QStringList planted; // each named on stderr by every run
        for (const QString& step : std::as_const(steps)) {
            ++number;
            if (step.startsWith(QLatin1String("fifo ")) || step.startsWith(QLatin1String("link "))) {
                planted << step.mid(5);
                QFile::remove(work(planted.last())); // the template, put there by init()
                QVERIFY(writeFile(m_root->filePath(planted.last()), "not ours\n"));
                prepareFolder(step);
                continue;
            }
            if (step == QLatin1String("damage")) {
                QVERIFY(QFile::exists(work(QStringLiteral("Veltora.state"))));
                QVERIFY(writeFile(work(QStringLiteral("Veltora.state")), "VELTORA-STATE 1\nADDRESS=192.0.2.1\nSE"));
                continue;
            }
            const QStringList field = step.split(QLatin1Char(' '));
            const QString& address = field[0];
            if (address != QLatin1String("-"))
                answerAddress(address);
            startFtp(field[1]);
            writeSettings(address == QLatin1String("-") ? QString() : echoUrl());
            const QString address6 = field.value(4).startsWith(QLatin1String("v6=")) ? field[4].mid(3) : QString();
            if (field.value(4).startsWith(QLatin1String("v6=")))
                enableIpv6(address6);
            if (field.value(4) == QLatin1String("lf")) {
                const QString ini = work(QString::fromLatin1(SettingsFileName));
                QVERIFY(writeFile(ini, fileBytes(ini).replace("\r\n", "\n")));
            }
            QFile::remove(remote(OnChangePage));

            const ProgramProcess::Result result = ProgramProcess::run({QStringLiteral("--once")}, m_work->path());
            VELTORA_COMPARE_EXIT(result, field[2].toInt());
            const bool uploaded = field[3] == QLatin1String("up");
            QVERIFY2(QFile::exists(remote(OnChangePage)) == uploaded,
                     qPrintable(QStringLiteral("step %1").arg(number)));
            if (uploaded) {
                // Byte for byte what the substitution wrote, with the address in it.
                QCOMPARE(fileBytes(remote(OnChangePage)), fileBytes(work(Template + QStringLiteral("$$0"))));
                QVERIFY(fileBytes(remote(OnChangePage)).contains("<p>" + address.toLatin1() + " at "));
                if (!address6.isEmpty())
                    QVERIFY(fileBytes(remote(OnChangePage)).contains("<p>" + address6.toLatin1() + "</p>"));
            }
            // Exit-time slots belong to the resident program's end.
            QVERIFY(!QFile::exists(remote(ExitPage)));
            // The status lines, one per line with the time.
            const QString check = field[2] == QLatin1String("1") ? QStringLiteral("[IPアドレス確認] 接続不可")
                                                                 : QStringLiteral("[IPアドレス確認] 成功");
            QVERIFY2(result.errText().contains(check), qPrintable(result.describe(field[2].toInt())));
            for (const QString& name : std::as_const(planted))
                QVERIFY2(result.errText().contains(name + QLatin1Char(':')), qPrintable(result.describe(0)));
            QVERIFY(result.out.isEmpty());
        }
        for (const QString& name : std::as_const(planted))
            QCOMPARE(fileBytes(m_root->filePath(name)), QByteArray("not ours\n"));
        const QFileInfo log(work(QStringLiteral("Veltora.log")));
        if (log.isSymLink() || !log.isFile())
            return;
        // The log as the resident program writes it, without a start or an end.
        const QStringList events = logEvents(log.filePath());
        QVERIFY(!events.contains(QStringLiteral("START")) && !events.contains(QStringLiteral("END")));
        QVERIFY(events.contains(QStringLiteral("IPアドレス確認")));
    }

    void onceUnderAnotherCodePage()
    {
        // Files brought over from a Japanese Windows: settings, template and log in windows-31j.
        const CodePage sjis("windows-31j");
        const QByteArray text = sjis.encode(QStringLiteral("<p>自宅サーバ HOSTNAME ソフト NOWDTTM</p>\r\n"));
        QVERIFY(writeFile(work(Template), text));
        answerAddress(QStringLiteral("192.0.2.9"));
        writeSettings(echoUrl(), sjis);
        const ProgramProcess::Result result = ProgramProcess::run(
            {QStringLiteral("--once"), QStringLiteral("--code-page"), QStringLiteral("windows-31j")}, m_work->path());
        VELTORA_COMPARE_EXIT(result, 0);
        QCOMPARE(fileBytes(remote(OnChangePage)), fileBytes(work(Template + QStringLiteral("$$0"))));
        QVERIFY(
            fileBytes(remote(OnChangePage)).startsWith(sjis.encode(QStringLiteral("<p>自宅サーバ 192.0.2.9 ソフト "))));
        QVERIFY(fileBytes(work(QStringLiteral("Veltora.log"))).contains(sjis.encode(QStringLiteral("IPアドレス確認"))));
    }

    // Stopped by a service manager: during an upload the page being stored is finished, not left cut, the
    // slots after it are not begun; during the address check nothing is uploaded. Either way the run is a
    // stopped one, not a success nor a failed check, and standard error says so.
    void onceStopped_data()
    {
        QTest::addColumn<bool>("duringCheck");
        QTest::addColumn<bool>("during6"); // the IPv6 check, after the IPv4 one has found its address
        QTest::newRow("during an upload") << false << false;
        QTest::newRow("during the address check") << true << false;
        QTest::newRow("during the IPv6 check: the IPv4 address found is not kept") << true << true;
    }
    void onceStopped()
    {
        QFETCH(bool, duringCheck);
        QFETCH(bool, during6);
        QByteArray big = TemplateText;
        while (big.size() < 24 * 1024)
            big += "<p>padding padding padding padding padding padding padding padding</p>\r\n";
        QVERIFY(writeFile(work(Template), big));
        QVERIFY2(m_ftp.start(QStringLiteral("ftp_server.py"), {QStringLiteral("--root"), m_root->path(),
                                                               QStringLiteral("--rate"), QStringLiteral("8192")}),
                 qPrintable(m_ftp.error()));
        answerAddress(QStringLiteral("192.0.2.3"));
        // An echo page that never answers holds the check until the stop.
        writeSettings(duringCheck && !during6 ? QStringLiteral("http://127.0.0.1:%1/silent").arg(m_echo.port())
                                              : echoUrl());
        if (during6) {
            enableIpv6(QStringLiteral("2001:db8::1"));
            SettingsModel settings;
            settings.applyDefaults();
            Load_ini(settings, CodePage::system());
            settings.global.GLOBALURL6 = QStringLiteral("http://[::1]:%1/silent").arg(m_echo6.port());
            QVERIFY(Save_ini(settings, CodePage::system()));
        }

        ProgramProcess program;
        QVERIFY(program.start({QStringLiteral("--once")}, m_work->path()));
        // The check has begun once the program says so; storing, once the page's temporary name stands on the server.
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT(
            during6       ? fileBytes(work(QStringLiteral("GLOBALIP.TXT"))).contains("192.0.2.3")
            : duringCheck ? (said += program.process().readAllStandardError()).contains("IPアドレス確認中")
                          : QFile::exists(remote(OnChangePage + QLatin1String(FtpTransfer::TemporarySuffix))),
            scaledMs(30000));
        QVERIFY(program.signal(SIGTERM));
        const ProgramProcess::Result result = program.waitForEnd(60000);
        VELTORA_COMPARE_EXIT(result, 2);
        QVERIFY2(result.errText().contains(QStringLiteral("終了の要求")), qPrintable(result.describe(2)));
        QCOMPARE(QFile::exists(remote(OnChangePage)), !duringCheck);
        if (duringCheck) {
            // Nothing was sent: the next run must still see the address as a change.
            QVERIFY(!fileBytes(work(QStringLiteral("Veltora.state"))).contains("192.0.2.3"));
            return;
        }
        QCOMPARE(fileBytes(remote(OnChangePage)), fileBytes(work(Template + QStringLiteral("$$0"))));
        QVERIFY(fileBytes(remote(OnChangePage)).size() > 24 * 1000);
    }

    void check_data()
    {
        QTest::addColumn<QString>("answer"); // the echo page's text; empty: a refused port
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("more"); // further arguments; "journal": JOURNAL_STREAM set
        QTest::addColumn<QString>("folder");   // how it differs (prepareFolder)
        QTest::newRow("address found") << "192.0.2.33" << 0 << "192.0.2.33\n" << QString() << QStringList() << QString();
        QTest::newRow("no address on the page") << "maintenance" << 1 << QString()
                                                << "失敗理由: エコーページの応答に IP アドレスがありません" << QStringList()
                                                << QString();
        QTest::newRow("echo page refused") << QString() << 1 << QString() << "接続不可" << QStringList() << QString();
        // "v6=ADDRESS": the IPv6 address looked up too ("v6=" a refused port).
        QTest::newRow("both addresses, one a line") << "192.0.2.36" << 0 << "192.0.2.36\n2001:db8::7\n"
                                                    << QString() << QStringList{"v6=2001:db8::7"} << QString();
        QTest::newRow("the IPv6 check fails: the IPv4 address, then why")
            << "192.0.2.37" << 1 << "192.0.2.37\n"
            << "失敗理由: エコーページのサーバーに接続できません" << QStringList{"v6="} << QString();
        // The journal ranks each line itself: failures <3>, the rest <6>, and no time of our own.
        QTest::newRow("to the journal") << "maintenance" << 1 << QString()
                                        << "<3>未取得\n<3>失敗理由: エコーページの応答に IP アドレスがありません"
                                        << QStringList{"journal"} << QString();
        QTest::newRow("--quiet: a success says nothing")
            << "192.0.2.33" << 0 << "192.0.2.33\n" << "<nothing>" << QStringList{"--quiet"} << QString();
        QTest::newRow("--quiet: a failure is said")
            << "maintenance" << 1 << QString() << "失敗理由: エコーページの応答に IP アドレスがありません"
            << QStringList{"--quiet"} << QString();
        // Others may add files to a sticky folder but not touch ours.
        QTest::newRow("a sticky folder others can write") << "192.0.2.34" << 0 << "192.0.2.34\n"
                                                          << QString() << QStringList() << "chmod . 1777";
        QTest::newRow("settings only in the earlier version's file")
            << "192.0.2.35" << 0 << "192.0.2.35\n"
            << QString() << QStringList() << "rename Veltora_050.ini Veltora_040.ini";
    }
    void check()
    {
        QFETCH(QString, answer);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QStringList, more);
        QFETCH(QString, folder);
        if (!answer.isEmpty())
            answerAddress(answer);
        writeSettings(answer.isEmpty() ? QString() : echoUrl());
        for (const QString& argument : more) {
            if (argument.startsWith(QLatin1String("v6=")))
                enableIpv6(argument.mid(3));
        }
        more.removeIf([](const QString& argument) { return argument.startsWith(QLatin1String("v6=")); });
        prepareFolder(folder);
        ProgramProcess::Options options;
        if (more.removeAll(QStringLiteral("journal")))
            options.environment.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("8:12345"));
        const ProgramProcess::Result result =
            ProgramProcess::run(QStringList{QStringLiteral("--check")} + more, m_work->path(), 120000, options);
        VELTORA_COMPARE_EXIT(result, exitCode);
        QCOMPARE(result.outText(), out);
        if (err == QLatin1String("<nothing>"))
            QVERIFY2(result.err.isEmpty(), qPrintable(result.describe(exitCode)));
        else if (!err.isEmpty())
            QVERIFY2(result.errText().contains(err), qPrintable(result.describe(exitCode)));
        // The check's own file; nothing uploaded, no state for the one-shot mode, no log line.
        QVERIFY(QFile::exists(work(QStringLiteral("GLOBALIP.TXT"))));
        QCOMPARE(QDir(m_root->filePath(QStringLiteral("public_html"))).entryList(QDir::Files), QStringList());
        QVERIFY(!QFile::exists(work(QStringLiteral("Veltora.state"))));
        QCOMPARE(logEvents(work(QStringLiteral("Veltora.log"))), QStringList());
    }

    // What the program refuses before reading or writing anything in the folder.
    void refusedAtStart_data()
    {
        QTest::addColumn<QStringList>("arguments"); // leading "@how" entries change the folder (prepareFolder)
        QTest::addColumn<QByteArray>("settings"); // empty: no settings file; else what follows a written one
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");
        const QByteArray none, written = "\r\n";
        QTest::newRow("unknown option") << QStringList{"--once", "--bogus"} << written << 64 << "--bogus";
        QTest::newRow("unknown code page") << QStringList{"--once", "--code-page", "x-none"} << written << 64 << "x-none";
        QTest::newRow("two modes") << QStringList{"--once", "--check"} << written << 64 << "--once";
        QTest::newRow("missing folder") << QStringList{"--once", "--dir", "/nonexistent/veltora"} << written << 64
                                        << "/nonexistent/veltora";
        QTest::newRow("window with a missing folder")
            << QStringList{"--dir", "/nonexistent/veltora"} << written << 64 << "/nonexistent/veltora";
        // Line 108 is the last record the window writes; the faulty one follows it.
        QTest::newRow("--once with an unreadable line")
            << QStringList{"--once"} << QByteArray("\"OKCHECK\",12,1\r\n") << 78 << "109 行目";
        QTest::newRow("--once without settings") << QStringList{"--once"} << none << 78 << "Veltora_050.ini";
        QTest::newRow("--check without settings") << QStringList{"--check"} << none << 78 << "Veltora_050.ini";
        QTest::newRow("--headless without settings") << QStringList{"--headless"} << none << 78 << "Veltora_050.ini";
        QTest::newRow("a dangling link as the lock")
            << QStringList{"@link Veltora.lock", "--check"} << written << 78 << "Veltora.lock";
        QTest::newRow("a folder others can write")
            << QStringList{"@chmod . 777", "--once"} << written << 78 << "chmod go-w";
        QTest::newRow("a settings file others can write")
            << QStringList{"@chmod Veltora_050.ini 620", "--headless"} << written << 78 << "chmod go-w";
        QTest::newRow("--set in a folder others can write")
            << QStringList{"@chmod . 777", "--set", "LOG=1"} << written << 78 << "chmod go-w";
    }
    void refusedAtStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, settings);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        if (!settings.isEmpty()) {
            writeSettings(QString());
            const QString ini = work(QString::fromLatin1(SettingsFileName));
            QVERIFY(writeFile(ini, fileBytes(ini) + settings.trimmed() + "\r\n"));
        }
        while (!arguments.isEmpty() && arguments.first().startsWith(u'@'))
            prepareFolder(arguments.takeFirst().mid(1));
        const QStringList before = folderEntries();
        const ProgramProcess::Result result = ProgramProcess::run(arguments, m_work->path(), 30000);
        VELTORA_COMPARE_EXIT(result, exitCode);
        // One line on stderr, saying what is wrong; for a missing settings file, naming the folder.
        QCOMPARE(result.errText().count(QLatin1Char('\n')), 1);
        QVERIFY2(result.errText().contains(err), qPrintable(result.describe(exitCode)));
        if (exitCode == 78 && settings.isEmpty())
            QVERIFY2(result.errText().contains(QDir(m_work->path()).canonicalPath()) ||
                         result.errText().contains(m_work->path()),
                     qPrintable(result.describe(exitCode)));
        QCOMPARE(folderEntries(), before);
    }

    // The settings written and read without the window. After a change the file is what the window writes.
    void settingsCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");   // a part of stdout or stderr
        QTest::addColumn<QByteArray>("record"); // one the settings file then holds; empty: the file unchanged
        const QByteArray none;
        QTest::newRow("--init: the defaults and a sample template")
            << QStringList{"--init"} << none << 0 << "TEMPLATE.HTML" << QByteArray("\"TIMERSET\",0,\"5\"");
        QTest::newRow("--init over a settings file: nothing made")
            << QStringList{"--init"} << none << 73 << "Veltora_050.ini" << none;
        QTest::newRow("--settings: the password masked")
            << QStringList{"--settings"} << none << 0 << "FTPUSERPASS = ********" << none;
        QTest::newRow("--set: a period that is no number") << QStringList{"--set", "LOG=0", "TIMERSET=abc"} << none
                                                          << 64 << "TIMERSET" << none;
        QTest::newRow("--set: settings as the window takes them")
            << QStringList{"--set", "TIMERSET=10", "EXEC_TIMING1,1=true"} << none << 0 << ""
            << QByteArray("\"EXEC_TIMING3\",1,#FALSE#\r\n\"OKCHECK\",2");
        QTest::newRow("--set-password from standard input")
            << QStringList{"--set-password"} << QByteArray("new \"pw\r\n") << 0 << ""
            << QByteArray("\"FTPUSERPASS\",0,\"new \"\"pw\"\r\n");
    }
    void settingsCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QByteArray, record);
        const QString ini = work(QString::fromLatin1(SettingsFileName));
        if (arguments.first() != u"--init" || exitCode != 0)
            writeSettings(QString());
        const QByteArray before = QFile::exists(ini) ? fileBytes(ini) : QByteArray();
        ProgramProcess::Options options;
        options.input = input;
        const ProgramProcess::Result result = ProgramProcess::run(arguments, m_work->path(), 30000, options);
        VELTORA_COMPARE_EXIT(result, exitCode);
        QVERIFY2(result.outText().contains(said) || result.errText().contains(said), qPrintable(result.describe(exitCode)));
        QVERIFY(!result.outText().contains(QStringLiteral("secret")));
        if (record.isEmpty()) {
            QCOMPARE(fileBytes(ini), before);
            return;
        }
        SettingsModel model;
        model.applyDefaults();
        QVERIFY(Load_ini(model, CodePage::system()).faults.isEmpty());
        QCOMPARE(fileBytes(ini), formatIni(model, CodePage::system()));
        QVERIFY2(fileBytes(ini).contains(record), fileBytes(ini).constData());
        if (arguments.first() == u"--init")
            QVERIFY(fileBytes(work(QStringLiteral("TEMPLATE.HTML"))).contains("HOSTNAME"));
    }

    // A file name set after an upload is sent by the next --once, though the address stayed the same.
    void setThenOnceSendsTheNewName()
    {
        answerAddress(QStringLiteral("192.0.2.1"));
        writeSettings(echoUrl());
        VELTORA_COMPARE_EXIT(ProgramProcess::run({QStringLiteral("--once")}, m_work->path()), 0);
        VELTORA_COMPARE_EXIT(ProgramProcess::run({QStringLiteral("--set"), QStringLiteral("FTPFILENAME,0=new.html")},
                                                 m_work->path()),
                             0);
        VELTORA_COMPARE_EXIT(ProgramProcess::run({QStringLiteral("--once")}, m_work->path()), 0);
        QVERIFY(QFile::exists(remote(QStringLiteral("new.html"))));
    }

    // Without --dir every way of starting works in one folder per user, made for its owner only.
    void defaultFolder_data()
    {
        QTest::addColumn<QString>("dataHome"); // XDG_DATA_HOME; "-": unset
        QTest::addColumn<QString>("folder");   // under the case's home
        QTest::newRow("XDG_DATA_HOME unset") << "-" << ".local/share/veltora";
        QTest::newRow("XDG_DATA_HOME set") << "data" << "data/veltora";
        QTest::newRow("XDG_DATA_HOME relative: ignored") << "relative" << ".local/share/veltora";
    }
    void defaultFolder()
    {
        QFETCH(QString, dataHome);
        QFETCH(QString, folder);
        const QString home = m_root->filePath(QStringLiteral("home"));
        ProgramProcess::Options options;
        options.dirFromWorkingDirectory = false;
        options.environment.insert(QStringLiteral("HOME"), home);
        options.environment.remove(QStringLiteral("XDG_DATA_HOME"));
        if (dataHome == u"relative")
            options.environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        else if (dataHome != u"-")
            options.environment.insert(QStringLiteral("XDG_DATA_HOME"), home + u'/' + dataHome);
        const ProgramProcess::Result result = ProgramProcess::run({QStringLiteral("--once")}, m_work->path(), 30000, options);
        VELTORA_COMPARE_EXIT(result, 78);
        const QString expected = home + u'/' + folder;
        QVERIFY2(result.errText().contains(expected), qPrintable(result.describe(78)));
        QCOMPARE(QFileInfo(expected).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(QFileInfo(expected).isDir());
    }

    // The folder named by its bytes, as the file system gives them: older archives bring Latin-1 or
    // Shift_JIS names, which are no UTF-8 text (the same path for both).
    void dirOption_data()
    {
        QTest::addColumn<QByteArray>("subfolder"); // inside the work folder; empty: the work folder itself
        QTest::newRow("the work folder") << QByteArray();
        QTest::newRow("a Latin-1 name") << QByteArray("caf\xe9");
    }
    void dirOption()
    {
        QFETCH(QByteArray, subfolder);
        answerAddress(QStringLiteral("192.0.2.5"));
        writeSettings(echoUrl());
        QByteArray folder = QFile::encodeName(m_work->path());
        if (!subfolder.isEmpty()) {
            folder += '/' + subfolder;
            QCOMPARE(::mkdir(folder.constData(), 0700), 0);
            for (const QString& name : {QString::fromLatin1(SettingsFileName), Template})
                QCOMPARE(::rename(QFile::encodeName(work(name)).constData(),
                                  (folder + '/' + QFile::encodeName(name)).constData()),
                         0);
        }
        ProgramProcess program;
        QVERIFY(program.start(QList<QByteArray>{"--dir", folder, "--once"}, QDir::tempPath()));
        const ProgramProcess::Result result = program.waitForEnd();
        VELTORA_COMPARE_EXIT(result, 0);
        QVERIFY2(!result.errText().contains(QStringLiteral("ロックファイル")), qPrintable(result.describe(0)));
        QVERIFY(::access((folder + "/Veltora.state").constData(), F_OK) == 0);
        QVERIFY(QFile::exists(remote(OnChangePage)));
    }

    // Ended by a service manager: the exit-time page goes up, "END" is logged, status 0, and the settings
    // file is left exactly as it was (time stamp included). Periodic runs happen whatever AUTOEXEC says.
    void headlessEndsOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("afterARun"); // ended once the first periodic run (30 s after the start) is over
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("SIGINT") << int(SIGINT) << false;
        QTest::newRow("SIGTERM after a periodic run, AUTOEXEC 0") << int(SIGTERM) << true;
    }
    void headlessEndsOnSignal()
    {
        QFETCH(int, signalNumber);
        QFETCH(bool, afterARun);
        const QString changeSent = QStringLiteral("ファイル転送(IPアドレス変更時)");
        answerAddress(QStringLiteral("192.0.2.77"));
        writeSettings(echoUrl());
        const QString ini = work(QString::fromLatin1(SettingsFileName));
        const QByteArray iniBefore = fileBytes(ini);
        {
            QFile file(ini);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        }
        const QDateTime mtimeBefore = QFileInfo(ini).lastModified();

        ProgramProcess program;
        QVERIFY(program.start({QStringLiteral("--headless")}, m_work->path()));
        QTRY_VERIFY_WITH_TIMEOUT(logEvents(work(QStringLiteral("Veltora.log"))).contains(QStringLiteral("START")),
                                 scaledMs(15000));
        if (afterARun)
            QTRY_VERIFY_WITH_TIMEOUT(logEvents(work(QStringLiteral("Veltora.log"))).contains(changeSent),
                                     scaledMs(60000));
        QVERIFY(program.signal(signalNumber));
        const ProgramProcess::Result result = program.waitForEnd(60000);
        VELTORA_COMPARE_EXIT(result, 0);

        QCOMPARE(fileBytes(remote(ExitPage)), fileBytes(work(Template + QStringLiteral("$$1"))));
        QVERIFY(fileBytes(remote(ExitPage)).contains("192.0.2.77"));
        QCOMPARE(QFile::exists(remote(OnChangePage)), afterARun);
        QStringList expected{QStringLiteral("START"), QStringLiteral("IPアドレス確認(終了時)"),
                             QStringLiteral("ファイル転送(終了時)"), QStringLiteral("END")};
        if (afterARun)
            expected = QStringList{expected[0], QStringLiteral("IPアドレス確認"), changeSent} + expected.mid(1);
        QCOMPARE(logEvents(work(QStringLiteral("Veltora.log"))), expected);
        QCOMPARE(fileBytes(ini), iniBefore);
        QCOMPARE(QFileInfo(ini).lastModified(), mtimeBefore);
        QVERIFY2(result.errText().contains(QStringLiteral("[設定2]")), qPrintable(result.describe(0)));
    }

    // A hang-up makes --headless read its settings again, as a service does; an unreadable file keeps the
    // settings in force. Seen in the exit-time page's name at the end.
    void headlessReloadsOnHangUp_data()
    {
        QTest::addColumn<QByteArray>("tail"); // added to the rewritten file
        QTest::addColumn<QString>("exitPage");
        QTest::newRow("read whole: applied") << QByteArray() << "reloaded.html";
        QTest::newRow("an unreadable line: kept") << QByteArray("\"OKCHECK\",12,1\n") << ExitPage;
    }
    void headlessReloadsOnHangUp()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QString, exitPage);
        answerAddress(QStringLiteral("192.0.2.78"));
        writeSettings(echoUrl());
        ProgramProcess program;
        QVERIFY(program.start({QStringLiteral("--headless")}, m_work->path()));
        const QString log = work(QStringLiteral("Veltora.log"));
        QTRY_VERIFY_WITH_TIMEOUT(logEvents(log).contains(QStringLiteral("START")), scaledMs(15000));
        const QString ini = work(QString::fromLatin1(SettingsFileName));
        QVERIFY(writeFile(ini, fileBytes(ini).replace(ExitPage.toLatin1(), "reloaded.html") + tail));
        QVERIFY(program.signal(SIGHUP));
        QTRY_VERIFY_WITH_TIMEOUT(logEvents(log).contains(QStringLiteral("設定再読込")), scaledMs(15000));
        QVERIFY(program.signal(SIGTERM));
        const ProgramProcess::Result result = program.waitForEnd(60000);
        VELTORA_COMPARE_EXIT(result, 0);
        QVERIFY2(QFile::exists(remote(exitPage)), qPrintable(result.describe(0)));
        QVERIFY2(tail.isEmpty() || result.errText().contains(QStringLiteral("109 行目")), qPrintable(result.describe(0)));
    }

    // A second program in a folder that a resident one holds.
    void oneInstancePerFolder_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("second --headless refused at once") << QStringList{"--headless"} << 75;
        QTest::newRow("--check waits for the folder, then runs") << QStringList{"--check"} << 0;
    }
    void oneInstancePerFolder()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        answerAddress(QStringLiteral("192.0.2.8"));
        writeSettings(echoUrl());
        ProgramProcess first;
        QVERIFY(first.start({QStringLiteral("--headless")}, m_work->path()));
        QTRY_VERIFY_WITH_TIMEOUT(logEvents(work(QStringLiteral("Veltora.log"))).contains(QStringLiteral("START")),
                                 scaledMs(15000));

        ProgramProcess second;
        QVERIFY(second.start(arguments, m_work->path()));
        if (exitCode == 0) {
            // Still waiting while the first holds the folder; it goes on once the first has ended.
            QVERIFY(!second.process().waitForFinished(3000));
            // It says at once that it waits, and for whom.
            QVERIFY2(second.process().readAllStandardError().contains("他の veltora (サービスか1回の実行) がこのフォルダを使っています"),
                     "no word of the wait");
            QVERIFY(first.signal(SIGTERM));
            VELTORA_COMPARE_EXIT(first.waitForEnd(60000), 0);
        } else {
            // At once, not after the one-shot modes' wait of 60 seconds for the folder.
            QVERIFY2(second.process().waitForFinished(45000), "the second --headless waited for the folder");
        }
        const ProgramProcess::Result result = second.waitForEnd(90000);
        VELTORA_COMPARE_EXIT(result, exitCode);
        if (exitCode == 75) {
            QVERIFY2(result.errText().contains(QStringLiteral("他のVeltora")), qPrintable(result.describe(75)));
            QCOMPARE(first.process().state(), QProcess::Running); // the first goes on untouched
        } else {
            QCOMPARE(result.outText(), QStringLiteral("192.0.2.8\n"));
        }
    }

    // The lock of a resident program that was killed (no end of its own) is taken over by the next one.
    void lockOfAKilledProgramTakenOver()
    {
        answerAddress(QStringLiteral("192.0.2.6"));
        writeSettings(echoUrl());
        ProgramProcess killed;
        QVERIFY(killed.start({QStringLiteral("--headless")}, m_work->path()));
        QTRY_VERIFY_WITH_TIMEOUT(logEvents(work(QStringLiteral("Veltora.log"))).contains(QStringLiteral("START")),
                                 scaledMs(15000));
        QVERIFY(killed.signal(SIGKILL));
        QVERIFY(killed.process().waitForFinished(scaledMs(10000)));
        QVERIFY(QFile::exists(work(QStringLiteral("Veltora.lock"))));

        const ProgramProcess::Result result = ProgramProcess::run({QStringLiteral("--check")}, m_work->path(), 30000);
        VELTORA_COMPARE_EXIT(result, 0);
        QCOMPARE(result.outText(), QStringLiteral("192.0.2.6\n"));
    }

    // A read-only folder cannot hold the lock; the program goes on without it and says so.
    void readOnlyFolderRunsWithoutTheLock()
    {
        const UnprivilegedRun unprivileged = runCurrentCaseUnprivileged();
        if (unprivileged.handedOver) {
            QVERIFY2(unprivileged.failure.isEmpty(), qPrintable(unprivileged.failure));
            return;
        }
        answerAddress(QStringLiteral("192.0.2.4"));
        writeSettings(echoUrl());
        QVERIFY(writeFile(work(QStringLiteral("GLOBALIP.TXT")), QByteArray())); // the check's file stays writable
        QVERIFY(QFile::setPermissions(m_work->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(!QFileInfo(m_work->path()).isWritable());
        const ProgramProcess::Result result = ProgramProcess::run({QStringLiteral("--check")}, m_work->path(), 30000);
        VELTORA_COMPARE_EXIT(result, 0);
        QCOMPARE(result.outText(), QStringLiteral("192.0.2.4\n"));
        QVERIFY2(result.errText().contains(QStringLiteral("ロックファイル")), qPrintable(result.describe(0)));
    }
};

QTEST_GUILESS_MAIN(TestModes)
#include "test_modes.moc"
