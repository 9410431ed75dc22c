#include "fake_view.h"
#include "run/engine.h"
#include "run/resident.h"
#include "server_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <memory>

#include <arpa/inet.h>

using namespace std::chrono_literals;

// Whole runs against real loopback servers: the echo page comes from the HTTP test server (a file the test
// rewrites between lookups), the pages go to the FTP test server, and every run is judged by what arrived
// there, by the status texts and by the log file read back.
namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 5, 7));
const QString kNowText = QStringLiteral("2026/12/06 9:05:07");
const QString kStamp = QStringLiteral("#2026-12-06 09:05:07#");

const QString OnCheck = QStringLiteral("IPアドレス確認時");
const QString OnChange = QStringLiteral("IPアドレス変更時");
const QString AtExit = QStringLiteral("終了時");
const QString TransferNow = QStringLiteral("今すぐ転送");

QString logLine(const QString& event, const QString& detail, const QString& stamp = kStamp)
{
    return stamp + QStringLiteral(",\"") + event + QStringLiteral("\",\"") + detail + QLatin1Char('"');
}
QString checked(const QString& address)
{
    return logLine(QStringLiteral("IPアドレス確認"), address);
}
QStringList checked6(const QString& address)
{
    if (!address.isEmpty())
        return {logLine(QStringLiteral("IPv6アドレス確認"), address)};
    return {logLine(QStringLiteral("IPv6アドレス確認"), QStringLiteral("失敗")),
            logLine(QStringLiteral("失敗理由"),
                    QStringLiteral("[IPv6アドレス確認] このコンピューターにグローバル IPv6 アドレスがありません "
                                   "(一時アドレスと非推奨のアドレスは使いません)"))};
}
QStringList sent(const QString& when, int n, const QString& stamp = kStamp)
{
    return {logLine(QStringLiteral("ファイル転送(") + when + QLatin1Char(')'), QString::number(n), stamp)};
}
// Why the uploads of these tests fail: the folder is missing, or the server never answers QUIT.
const QString NoFolder = QStringLiteral("フォルダーに移動できません (550 No such file or directory.)");
const QString QuitUnanswered = QStringLiteral("切断の応答がありません (時間切れ)");
QStringList failed(const QString& when, int n, const QString& reason = NoFolder, const QString& stamp = kStamp)
{
    return sent(when, n, stamp) << logLine(QStringLiteral("FTP転送失敗(") + when + QLatin1Char(')'), QString::number(n), stamp)
                                << logLine(QStringLiteral("失敗理由"), QStringLiteral("[設定%1] ").arg(n) + reason, stamp);
}
const QString EchoDown = QStringLiteral("エコーページのサーバーに接続できません (接続が拒否されました)");
const QString NoAddress = QStringLiteral("エコーページの応答に IP アドレスがありません");
QStringList checkFailed(const QString& reason, const QString& event = QStringLiteral("IPアドレス確認"),
                        const QString& caption = QStringLiteral("失敗"))
{
    return {logLine(event, caption), logLine(QStringLiteral("失敗理由"), QStringLiteral("[IPアドレス確認] ") + reason)};
}
QStringList notSubstituted(const QString& when, int n)
{
    return {logLine(QStringLiteral("置換失敗(") + when + QLatin1Char(')'), QString::number(n))};
}
QString status(int n, const QString& state)
{
    return QStringLiteral("[設定%1] ").arg(n) + state + QStringLiteral(" (") + kNowText + QLatin1Char(')');
}
// The two status texts of a successful address check.
QStringList checkTexts()
{
    return {QStringLiteral("IPアドレス確認中"),
            QStringLiteral("[IPアドレス確認] 成功 (") + kNowText + QLatin1Char(')')};
}
// The status texts of one successful substitution and upload of slot n.
QStringList uploadTexts(int n)
{
    return {status(n, QStringLiteral("置換中")), status(n, QStringLiteral("置換完了")),
            status(n, QStringLiteral("接続開始")), status(n, QStringLiteral("転送中")),
            status(n, QStringLiteral("実行完了"))};
}

QString remoteName(int n)
{
    return QStringLiteral("slot%1.html").arg(n);
}
QByteArray templateText(int n, int padding, bool ipv6 = false)
{
    QByteArray text = "<html>\r\n<p>HOSTNAME</p>\r\n<p>NOWDTTM</p>\r\n<p>slot " + QByteArray::number(n) + "</p>\r\n";
    if (ipv6)
        text += "<p>HOSTNAME6</p>\r\n";
    const QByteArray filler(98, 'x');
    for (int written = 0; written < padding; written += filler.size() + 2)
        text += filler + "\r\n";
    return text + "</html>\r\n";
}
// The page slot n's template becomes with the two replacement texts.
QByteArray page(int n, const QString& address, const QString& time = kNowText, int padding = 0,
                const QString& address6 = {})
{
    return templateText(n, padding, !address6.isEmpty())
        .replace("HOSTNAME6", address6.toUtf8())
        .replace("HOSTNAME", address.toUtf8())
        .replace("NOWDTTM", time.toUtf8());
}
QByteArray echoPage(const QString& address)
{
    return "<html><body>\r\nYOUR IP IS " + address.toLatin1() + "<BR>\r\n</body></html>\r\n";
}

// The desktop notifications of a change, as "title: text".
QString startsFailing(int n, const QString& state, const QString& reason = NoFolder)
{
    return QStringLiteral("[設定%1] ").arg(n) + state + QStringLiteral(": ") + reason;
}
QString worksAgain(int n)
{
    return QStringLiteral("[設定%1] 転送できるようになりました: ").arg(n) + kNowText + QStringLiteral(" に転送しました");
}
QString newAddress(const QString& before, const QString& after)
{
    return QStringLiteral("IPアドレスが変わりました: ") + before + QStringLiteral(" → ") + after;
}

// One step of a scenario: a run or a check-now with the echo server's answer, or a new remote directory for
// a slot. After a run: the pages that arrived, the log lines written and the notifications since the last run.
struct Step
{
    enum Kind { Run, CheckNow, SetDirectory, ServerMode, Ipv6 } kind = Run;
    QString answer; // an address, "down" (nothing listens) or "no address" (a page without one)
    QStringList uploads;
    QStringList log;
    int slot = 0;
    QString directory;
    QStringList notices;
};
Step run(const QString& answer, const QStringList& uploads, const QStringList& log, const QStringList& notices = {})
{
    return {Step::Run, answer, uploads, log, 0, {}, notices};
}
Step checkNow(const QString& answer)
{
    return {Step::CheckNow, answer, {}, {}, 0, {}, {}};
}
Step setDirectory(int slot, const QString& directory)
{
    return {Step::SetDirectory, {}, {}, {}, slot, directory, {}};
}
// IPv6 looked up from this computer's interface from now on, which holds this address ("" none); slot 1 puts
// it into its page.
Step ipv6(const QString& address)
{
    return {Step::Ipv6, address, {}, {}, 0, {}, {}};
}
// The FTP server from now on: "normal" or one of its fault modes.
Step serverMode(const QString& mode)
{
    return {Step::ServerMode, mode, {}, {}, 0, {}, {}};
}

// FakeView that also tells each new FTP_now text: a way to act at an exact step of the work.
class HookedView : public FakeView
{
public:
    std::function<void(const QString&)> onFtpNow;
    void setFTP_now(const QString& caption) override
    {
        FakeView::setFTP_now(caption);
        if (onFtpNow)
            onFtpNow(caption);
    }
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestRunCycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_http.start(QStringLiteral("http_echo_server.py")), qPrintable(m_http.error()));
        m_oldDir = QDir::currentPath();
    }

    void init()
    {
        m_local = std::make_unique<QTemporaryDir>();
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_local->isValid() && m_root->isValid());
        QVERIFY(QDir::setCurrent(m_local->path()));
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("public_html")));
        Clock::setNow(kNow);
        makeEngine("UTF-8");
        QVERIFY2(startFtp({}), qPrintable(m_ftp.error()));
    }

    void cleanup()
    {
        m_address6.clear();
        m_http.printOutputIfFailed();
        m_engine.reset();
        m_view.reset();
        m_ftp.stop();
        QDir::setCurrent(m_oldDir);
        m_local.reset();
        m_root.reset();
        Clock::reset();
    }

    void noSlotEnabled_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::newRow("UTF-8") << QByteArray("UTF-8");
        QTest::newRow("windows-31j") << QByteArray("windows-31j");
    }
    void noSlotEnabled()
    {
        QFETCH(QByteArray, codec);
        makeEngine(codec);
        for (TransferSlot& slot : m_engine->settings.slot)
            slot.OKCHECK = 0;
        answer(QStringLiteral("192.0.2.7"));
        m_engine->EXEC_EVENT();
        QCOMPARE(m_view->ftpNowHistory, checkTexts());
        QCOMPARE(takeLog(), QStringList{checked(QStringLiteral("192.0.2.7"))});
        QVERIFY(takeUploads().isEmpty());
        QCOMPARE(QDir().entryList({QStringLiteral("*$$*")}, QDir::Files), QStringList());
    }

    // The first run after start-up: the previous text is "未取得" and no on-change upload has succeeded yet.
    void firstRunUploadsEveryEnabledOnChangeSlot_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::newRow("UTF-8") << QByteArray("UTF-8");
        QTest::newRow("windows-31j") << QByteArray("windows-31j");
    }
    void firstRunUploadsEveryEnabledOnChangeSlot()
    {
        QFETCH(QByteArray, codec);
        makeEngine(codec);
        setSlot(0, 1, false, true);
        setSlot(2, 0, false, true);
        setSlot(4, 1, false, true);
        setSlot(6, 2, true, true);
        setSlot(8, 1, true, false);
        answer(QStringLiteral("192.0.2.7"));
        m_engine->EXEC_EVENT();

        const QString address = QStringLiteral("192.0.2.7");
        QMap<QString, QByteArray> expected;
        for (const int n : {1, 5, 9})
            expected.insert(remoteName(n), page(n, address));
        QCOMPARE(takeUploads(), expected);
        QCOMPARE(takeLog(), QStringList{checked(address)} + sent(OnChange, 1) + sent(OnChange, 5) + sent(OnCheck, 9));
        const QStringList texts = checkTexts() + uploadTexts(1) + uploadTexts(5) + uploadTexts(9);
        QCOMPARE(m_view->ftpNowHistory, texts);
        QCOMPARE(m_engine->settings.slot[0].ResultText, status(1, QStringLiteral("実行完了")));
        QCOMPARE(m_engine->settings.slot[8].ResultText, status(9, QStringLiteral("実行完了")));
        QCOMPARE(m_engine->settings.slot[2].ResultText, QStringLiteral("未実行"));
        QVERIFY(m_engine->settings.slot[0].ChangeSent && m_engine->settings.slot[4].ChangeSent);
        QVERIFY(!m_engine->settings.slot[8].ChangeSent); // an on-check upload leaves it alone
        QVERIFY(!m_engine->settings.slot[2].ChangeSent && !m_engine->settings.slot[6].ChangeSent);
        QCOMPARE(m_view->ipAddress, address);
    }

    // Slot 1 uploads on a change, slot 2 on every check.
    void triggersAcrossRuns_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        const QString a = QStringLiteral("192.0.2.7");
        const QString b = QStringLiteral("198.51.100.23");
        const QStringList down = checkFailed(EchoDown);
        const QStringList noAddress = checkFailed(NoAddress);
        const QStringList both{remoteName(1), remoteName(2)};
        const QStringList onCheckOnly{remoteName(2)};
        const QStringList bothLog = sent(OnChange, 1) + sent(OnCheck, 2);

        QTest::newRow("unchanged address: on-change skipped, on-check every run")
            << QList<Step>{run(a, both, QStringList{checked(a)} + bothLog),
                           run(a, onCheckOnly, QStringList{checked(a)} + sent(OnCheck, 2)),
                           run(b, both, QStringList{checked(b)} + bothLog, {newAddress(a, b)})};
        QTest::newRow("server down: nothing, then the same address counts as a change") << QList<Step>{
            run(a, both, QStringList{checked(a)} + bothLog), run(QStringLiteral("down"), {}, down),
            run(a, both, QStringList{checked(a)} + bothLog)};
        QTest::newRow("page without address: nothing, then the same address counts as a change") << QList<Step>{
            run(a, both, QStringList{checked(a)} + bothLog), run(QStringLiteral("no address"), {}, noAddress),
            run(a, both, QStringList{checked(a)} + bothLog)};
        QTest::newRow("failed check before any success") << QList<Step>{
            run(QStringLiteral("down"), {}, down), run(a, both, QStringList{checked(a)} + bothLog)};
        QTest::newRow("check-now between runs hides a change")
            << QList<Step>{run(a, both, QStringList{checked(a)} + bothLog), checkNow(b),
                           run(b, onCheckOnly, QStringList{checked(b)} + sent(OnCheck, 2), {newAddress(a, b)})};
        QTest::newRow("check-now that fails: the next run sees a change")
            << QList<Step>{run(a, both, QStringList{checked(a)} + bothLog), checkNow(QStringLiteral("down")),
                           run(a, both, QStringList{checked(a)} + bothLog)};
        QTest::newRow("failed on-change upload retried until it succeeds")
            << QList<Step>{setDirectory(0, QStringLiteral("no_such_dir")),
                           run(a, onCheckOnly, QStringList{checked(a)} + failed(OnChange, 1) + sent(OnCheck, 2),
                               {startsFailing(1, QStringLiteral("FTP転送失敗"))}),
                           run(a, onCheckOnly, QStringList{checked(a)} + failed(OnChange, 1) + sent(OnCheck, 2)),
                           setDirectory(0, QStringLiteral("public_html")),
                           run(a, both, QStringList{checked(a)} + bothLog, {worksAgain(1)}),
                           run(a, onCheckOnly, QStringList{checked(a)} + sent(OnCheck, 2))};
        // The server takes both pages but never answers the QUIT: stage 2 is a failed upload for either
        // trigger, and the on-change slot goes out again at the next run although the address is the same.
        QTest::newRow("disconnect fails: both logged as failed, on-change retried")
            << QList<Step>{serverMode(QStringLiteral("quit-silent")),
                           run(a, both,
                               QStringList{checked(a)} + failed(OnChange, 1, QuitUnanswered) +
                                   failed(OnCheck, 2, QuitUnanswered),
                               {startsFailing(1, QStringLiteral("FTP切断失敗"), QuitUnanswered),
                                startsFailing(2, QStringLiteral("FTP切断失敗"), QuitUnanswered)}),
                           serverMode(QStringLiteral("normal")),
                           run(a, both, QStringList{checked(a)} + bothLog, {worksAgain(1), worksAgain(2)}),
                           run(a, onCheckOnly, QStringList{checked(a)} + sent(OnCheck, 2))};
        // The first setup: a run sent the half-filled slot, then the user corrected it. The address is the
        // same, but the page the slot now names has never gone up.
        QTest::newRow("destination changed after an upload: sent again at the same address")
            << QList<Step>{run(a, both, QStringList{checked(a)} + bothLog),
                           setDirectory(0, QStringLiteral("public_html/")),
                           run(a, both, QStringList{checked(a)} + bothLog),
                           run(a, onCheckOnly, QStringList{checked(a)} + sent(OnCheck, 2))};
        const QString v6a = QStringLiteral("2001:db8::1");
        const QString v6b = QStringLiteral("2001:db8::2");
        QTest::newRow("IPv6 address changed alone: the on-change slot goes with both addresses")
            << QList<Step>{ipv6(v6a), run(a, both, QStringList{checked(a)} + checked6(v6a) + bothLog),
                           run(a, onCheckOnly, QStringList{checked(a)} + checked6(v6a) + sent(OnCheck, 2)), ipv6(v6b),
                           run(a, both, QStringList{checked(a)} + checked6(v6b) + bothLog,
                               {QStringLiteral("IPv6アドレスが変わりました: ") + v6a + QStringLiteral(" → ") + v6b})};
        const QString held = QStringLiteral("IPv6アドレス未取得のため転送せず(IPアドレス変更時)");
        QTest::newRow("no IPv6 address: the IPv6 slot waits for one, the IPv4-only slot goes") << QList<Step>{
            ipv6({}),
            run(a, onCheckOnly,
                QStringList{checked(a)} + checked6({}) << logLine(held, QStringLiteral("1")) << sent(OnCheck, 2)),
            ipv6(v6a), run(a, both, QStringList{checked(a)} + checked6(v6a) + bothLog)};
        QTest::newRow("failed on-check upload is not retried by the trigger")
            << QList<Step>{setDirectory(1, QStringLiteral("no_such_dir")),
                           run(a, {remoteName(1)}, QStringList{checked(a)} + sent(OnChange, 1) + failed(OnCheck, 2),
                               {startsFailing(2, QStringLiteral("FTP転送失敗"))}),
                           setDirectory(1, QStringLiteral("public_html")),
                           run(a, onCheckOnly, QStringList{checked(a)} + sent(OnCheck, 2), {worksAgain(2)})};
    }
    void triggersAcrossRuns()
    {
        QFETCH(QList<Step>, steps);
        setSlot(0, 1, false, true);
        setSlot(1, 1, true, false);
        QStringList notices;
        connect(m_engine.get(), &Engine::stateChanged, this,
                [&](const QString& title, const QString& text) { notices << title + QStringLiteral(": ") + text; });
        int number = 0;
        for (const Step& step : steps) {
            const QByteArray where = "step " + QByteArray::number(++number);
            switch (step.kind) {
            case Step::SetDirectory:
                m_engine->settings.slot[step.slot].FTPDIR = step.directory;
                continue;
            case Step::ServerMode:
                QVERIFY2(startFtp({QStringLiteral("--mode"), step.answer}), qPrintable(m_ftp.error()));
                m_engine->Inet2.setTimeouts({2000, 2, 1000, 5}); // an unanswered QUIT ends soon
                continue;
            case Step::Ipv6: {
                m_address6 = step.answer;
                m_engine->settings.global.USEIPV6 = Ipv6Interface;
                m_engine->settings.slot[0].HOSTNAME6EXEC = 1;
                QFile file(m_engine->settings.slot[0].TEMPLATE);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(templateText(1, 0, true)) > 0);
                QByteArray table;
                in6_addr parsed{};
                if (::inet_pton(AF_INET6, m_address6.toLatin1().constData(), &parsed) == 1)
                    table =
                        QByteArray(reinterpret_cast<const char*>(parsed.s6_addr), 16).toHex() + " 02 40 00 80 eth0\n";
                m_engine->Winsock1.setIpv6Sources([table] { return table; }, [] { return QByteArray(); });
                continue;
            }
            case Step::CheckNow:
                answer(step.answer);
                m_engine->GetGlobalIP_Click();
                QVERIFY2(!QFile::exists(QStringLiteral("Veltora.log")), where.constData());
                continue;
            case Step::Run:
                break;
            }
            answer(step.answer);
            m_engine->EXEC_EVENT();
            const QMap<QString, QByteArray> uploads = takeUploads();
            QVERIFY2(QStringList(uploads.keys()) == step.uploads, where + ": " + uploads.keys().join(' ').toUtf8());
            for (auto it = uploads.cbegin(); it != uploads.cend(); ++it) {
                const int n = it.key().mid(4, 1).toInt();
                QVERIFY2(it.value() == page(n, step.answer, kNowText, 0, n == 1 ? m_address6 : QString()),
                         where + ": " + it.value());
            }
            const QStringList log = takeLog();
            QVERIFY2(log == step.log, where + ":\n" + log.join('\n').toUtf8());
            QVERIFY2(notices == step.notices, where + ":\n" + notices.join('\n').toUtf8());
            notices.clear();
        }
    }

    // The stored settings may hold both triggers (the editor offers one): the slot goes out twice.
    void bothTriggersUploadTwice()
    {
        setSlot(3, 1, true, true);
        answer(QStringLiteral("192.0.2.7"));
        m_engine->EXEC_EVENT();
        QCOMPARE(takeUploads().value(remoteName(4)), page(4, QStringLiteral("192.0.2.7")));
        QCOMPARE(takeLog(), QStringList{checked(QStringLiteral("192.0.2.7"))} + sent(OnCheck, 4) + sent(OnChange, 4));
        QCOMPARE(m_view->ftpNowHistory.count(status(4, QStringLiteral("実行完了"))), 2);

        m_view->ftpNowHistory.clear();
        m_engine->EXEC_EVENT();
        QCOMPARE(takeLog(), QStringList{checked(QStringLiteral("192.0.2.7"))} + sent(OnCheck, 4));
        QCOMPARE(m_view->ftpNowHistory.count(status(4, QStringLiteral("実行完了"))), 1);
    }

    void onlyOkcheckOneTakesPart_data()
    {
        QTest::addColumn<int>("okcheck");
        QTest::addColumn<bool>("onCheck");
        QTest::addColumn<bool>("onChange");
        QTest::newRow("OKCHECK 0, on check") << 0 << true << false;
        QTest::newRow("OKCHECK 0, on change") << 0 << false << true;
        QTest::newRow("OKCHECK 2, on check") << 2 << true << false;
        QTest::newRow("OKCHECK 2, on change") << 2 << false << true;
        QTest::newRow("OKCHECK -1, both") << -1 << true << true;
    }
    void onlyOkcheckOneTakesPart()
    {
        QFETCH(int, okcheck);
        QFETCH(bool, onCheck);
        QFETCH(bool, onChange);
        setSlot(5, qint16(okcheck), onCheck, onChange);
        answer(QStringLiteral("192.0.2.7"));
        m_engine->EXEC_EVENT();
        QVERIFY(takeUploads().isEmpty());
        QCOMPARE(takeLog(), QStringList{checked(QStringLiteral("192.0.2.7"))});
        QVERIFY(!QFile::exists(QStringLiteral("page6.html$$5")));
    }

    // A template that cannot be read: one log line, no upload, and the on-change state stays as it was.
    void failedSubstitutionSkipsTheUpload_data()
    {
        QTest::addColumn<bool>("onChange");
        QTest::addColumn<bool>("changeSent");
        QTest::newRow("on check") << false << false;
        QTest::newRow("on change, last upload succeeded") << true << true;
        QTest::newRow("on change, last upload failed") << true << false;
    }
    void failedSubstitutionSkipsTheUpload()
    {
        QFETCH(bool, onChange);
        QFETCH(bool, changeSent);
        setSlot(6, 1, !onChange, onChange);
        m_engine->settings.slot[6].ChangeSent = changeSent;
        QVERIFY(QFile::remove(QStringLiteral("page7.html")));
        answer(QStringLiteral("192.0.2.7"));
        m_engine->EXEC_EVENT(); // "未取得" before: the address counts as a change
        QVERIFY(takeUploads().isEmpty());
        QCOMPARE(takeLog(),
                 QStringList{checked(QStringLiteral("192.0.2.7"))} + notSubstituted(onChange ? OnChange : OnCheck, 7));
        QCOMPARE(m_view->ftpNow, status(7, QStringLiteral("置換失敗")));
        QCOMPARE(m_engine->settings.slot[6].ChangeSent, changeSent);
    }

    // The exit-time run transfers whatever the lookup gave, only enabled exit-time slots, and leaves the
    // on-change state alone.
    void exitRun_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("address"); // what the page carries
        QTest::addColumn<bool>("withSlot");
        QTest::addColumn<bool>("quitUnanswered"); // the FTP server takes the pages but never answers QUIT
        QTest::newRow("lookup succeeds") << "192.0.2.7"
                                         << "192.0.2.7"
                                         << "192.0.2.7" << true << false;
        QTest::newRow("server down") << "down"
                                     << "接続不可"
                                     << "HOSTNAME" << true << false;
        QTest::newRow("page without address") << "no address"
                                              << "未取得"
                                              << "HOSTNAME" << true << false;
        QTest::newRow("no exit-time slot") << "192.0.2.7"
                                           << "192.0.2.7"
                                           << "" << false << false;
        QTest::newRow("disconnect fails") << "192.0.2.7"
                                          << "192.0.2.7"
                                          << "192.0.2.7" << true << true;
    }
    void exitRun()
    {
        QFETCH(QString, answer);
        QFETCH(QString, caption);
        QFETCH(QString, address);
        QFETCH(bool, withSlot);
        QFETCH(bool, quitUnanswered);
        if (quitUnanswered) {
            QVERIFY2(startFtp({QStringLiteral("--mode"), QStringLiteral("quit-silent")}), qPrintable(m_ftp.error()));
            m_engine->Inet2.setTimeouts({2000, 2, 1000, 5});
        }
        if (withSlot) {
            setSlot(0, 1, false, false, true);
            setSlot(7, 1, false, false, true);
        }
        setSlot(1, 0, false, false, true);
        setSlot(2, 1, true, false);
        setSlot(3, 1, false, true);
        setSlot(4, 2, false, false, true);
        m_engine->settings.slot[3].ChangeSent = true;
        m_view->ipAddress = QStringLiteral("192.0.2.7"); // as a run left it
        this->answer(answer);
        m_engine->EXEC_EVENT_Unload();

        QMap<QString, QByteArray> expected;
        const QString exitCheck = QStringLiteral("IPアドレス確認(終了時)");
        QStringList log{logLine(exitCheck, caption)};
        if (caption == QStringLiteral("接続不可") || caption == QStringLiteral("未取得"))
            log = checkFailed(caption == QStringLiteral("未取得") ? NoAddress : EchoDown, exitCheck, caption);
        if (withSlot) {
            expected.insert(remoteName(1), page(1, address));
            expected.insert(remoteName(8), page(8, address));
            log += quitUnanswered ? failed(AtExit, 1, QuitUnanswered) + failed(AtExit, 8, QuitUnanswered)
                                  : sent(AtExit, 1) + sent(AtExit, 8);
        }
        QCOMPARE(takeUploads(), expected);
        QCOMPARE(takeLog(), log);
        QCOMPARE(m_view->ipAddress, caption);
        QStringList texts = withSlot ? uploadTexts(1) + uploadTexts(8) : QStringList();
        if (quitUnanswered)
            texts.replaceInStrings(QStringLiteral("実行完了"), QStringLiteral("FTP切断失敗"));
        QCOMPARE(m_view->ftpNowHistory, texts);
        for (int s = 0; s < SlotCount; ++s)
            QCOMPARE(m_engine->settings.slot[s].ChangeSent, s == 3);
    }

    // Transfer-now takes the slot on show whatever its switches say, and the replacement texts of the last
    // lookup, however long ago that was.
    void transferNow_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("okcheck");
        QTest::addColumn<QString>("templateName"); // empty: the slot's own, missing: none there
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QStringList>("uploads");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<bool>("quitUnanswered"); // the FTP server takes the page but never answers QUIT
        const QString later = QStringLiteral("#2026-12-06 09:15:07#");
        const QString dir = QStringLiteral("public_html");
        const auto lines = [&](const QString& event, int n, const QString& failure = QString()) {
            if (!failure.isEmpty())
                return failed(TransferNow, n, failure, later);
            return QStringList{logLine(event, QString::number(n), later)};
        };
        QTest::newRow("disabled slot") << 2 << 0 << "" << dir << QStringList{remoteName(1)}
                                       << lines(QStringLiteral("ファイル転送(今すぐ転送)"), 1) << false;
        QTest::newRow("設定3") << 4 << 1 << "" << dir << QStringList{remoteName(3)}
                               << lines(QStringLiteral("ファイル転送(今すぐ転送)"), 3) << false;
        QTest::newRow("設定3, upload fails")
            << 4 << 1 << ""
            << "no_such_dir" << QStringList() << lines(QStringLiteral("ファイル転送(今すぐ転送)"), 3, NoFolder) << false;
        QTest::newRow("設定3, disconnect fails") << 4 << 1 << "" << dir << QStringList{remoteName(3)}
                                                 << lines(QStringLiteral("ファイル転送(今すぐ転送)"), 3, QuitUnanswered)
                                                 << true;
        QTest::newRow("設定3, substitution fails") << 4 << 1 << "missing.html" << dir << QStringList()
                                                   << lines(QStringLiteral("置換失敗(今すぐ転送)"), 3) << false;
        QTest::newRow("設定9") << 10 << 2 << "" << dir << QStringList{remoteName(9)}
                               << lines(QStringLiteral("ファイル転送(今すぐ転送)"), 9) << false;
        QTest::newRow("basic page") << 1 << 1 << "" << dir << QStringList() << QStringList() << false;
        QTest::newRow("no tab chosen") << 0 << 1 << "" << dir << QStringList() << QStringList() << false;
    }
    void transferNow()
    {
        QFETCH(int, tab);
        QFETCH(int, okcheck);
        QFETCH(QString, templateName);
        QFETCH(QString, directory);
        QFETCH(QStringList, uploads);
        QFETCH(QStringList, log);
        QFETCH(bool, quitUnanswered);
        if (quitUnanswered) {
            QVERIFY2(startFtp({QStringLiteral("--mode"), QStringLiteral("quit-silent")}), qPrintable(m_ftp.error()));
            m_engine->Inet2.setTimeouts({2000, 2, 1000, 5});
        }
        for (int s = 0; s < SlotCount; ++s) {
            setSlot(s, qint16(okcheck), false, true);
            m_engine->settings.slot[s].FTPDIR = directory;
            if (!templateName.isEmpty())
                m_engine->settings.slot[s].TEMPLATE = templateName;
        }
        answer(QStringLiteral("192.0.2.7"));
        m_engine->GetGlobalIP_Click();
        Clock::setNow(kNow.addSecs(600));
        m_view->ftpNowHistory.clear();
        m_engine->SelectedTab = qint16(tab);
        m_engine->FTPcommand_Click();

        const QMap<QString, QByteArray> arrived = takeUploads();
        QCOMPARE(QStringList(arrived.keys()), uploads);
        for (auto it = arrived.cbegin(); it != arrived.cend(); ++it)
            QCOMPARE(it.value(), page(it.key().mid(4, 1).toInt(), QStringLiteral("192.0.2.7"), kNowText));
        QCOMPARE(takeLog(), log);
        if (tab < 2) {
            QVERIFY(m_view->setMemoryCalls.isEmpty());
            QVERIFY(m_view->ftpNowHistory.isEmpty());
        } else {
            // Committed before the substitution, and again (what was typed meanwhile) before the page is
            // shown afresh with its result.
            const QList<int> commits = templateName.isEmpty() ? QList<int>{tab - 2, tab - 2} : QList<int>{tab - 2};
            QCOMPARE(m_view->setMemoryCalls, commits);
            QVERIFY(m_view->ftpNow.startsWith(QStringLiteral("[設定%1] ").arg(tab - 1)));
            if (quitUnanswered)
                QCOMPARE(m_view->ftpNow, QStringLiteral("[設定%1] FTP切断失敗 (2026/12/06 9:15:07)").arg(tab - 1));
            QCOMPARE(m_view->putMemoryCalls, templateName.isEmpty() ? QList<int>{tab - 2} : QList<int>());
        }
        for (int s = 0; s < SlotCount; ++s)
            QVERIFY(!m_engine->settings.slot[s].ChangeSent);
    }

    // A tick, a click or a check arriving while a run's upload is on the wire (the server reads slowly) starts
    // nothing and is not counted; the run goes on undisturbed.
    void eventsDuringAThrottledUpload_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("tick at the period") << "tick";
        QTest::newRow("tick with the first run pending") << "first tick";
        QTest::newRow("run now") << "run now";
        QTest::newRow("check now") << "check now";
        QTest::newRow("transfer now") << "transfer now";
    }
    void eventsDuringAThrottledUpload()
    {
        QFETCH(QString, event);
        QVERIFY2(startFtp({QStringLiteral("--rate"), QStringLiteral("100000")}), qPrintable(m_ftp.error()));
        m_engine->Inet2.setTimeouts({2000, 10, 1000, 5});
        constexpr int padding = 250000; // beyond what the socket buffers take at once
        setSlot(0, 1, false, true, false, padding);
        setSlot(1, 1, true, false);
        m_engine->settings.global.AUTOEXEC = 1;
        m_engine->SelectedTab = 2; // the slot being uploaded is on show
        answer(QStringLiteral("192.0.2.7"));

        QString seen;
        bool busy = false;
        qsizetype lookupsBefore = -1;
        qsizetype lookupsAfter = -1;
        int inTransfer = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            // Ten probes into the upload of slot 1, so the data is flowing.
            if (!seen.isEmpty() || m_view->ftpNow != status(1, QStringLiteral("転送中")) || ++inTransfer < 10)
                return;
            seen = m_view->ftpNow;
            busy = m_engine->isBusy();
            lookupsBefore = m_view->ipAddressHistory.size();
            m_engine->TickCount = 999;
            m_engine->FirstRunPending = event == QLatin1String("first tick");
            if (event.endsWith(QLatin1String("tick")))
                m_engine->Timer1_Timer();
            else if (event == QLatin1String("run now"))
                m_engine->Command1_Click();
            else if (event == QLatin1String("check now"))
                m_engine->GetGlobalIP_Click();
            else
                m_engine->FTPcommand_Click();
            lookupsAfter = m_view->ipAddressHistory.size();
        });
        probe.start(20);
        QElapsedTimer elapsed;
        elapsed.start();
        m_engine->EXEC_EVENT();
        probe.stop();
        qInfo("run with a throttled upload: %lld ms", elapsed.elapsed());

        QCOMPARE(seen, status(1, QStringLiteral("転送中")));
        QVERIFY(busy);
        QCOMPARE(lookupsAfter, lookupsBefore);
        QCOMPARE(m_engine->TickCount, qint16(999)); // not counted, not reset
        QCOMPARE(m_engine->FirstRunPending, event == QLatin1String("first tick"));
        QCOMPARE(m_engine->Timer1.interval(), 0);        // run-now refused before arming the timer
        QCOMPARE(m_view->setMemoryCalls, QList<int>{0}); // the run's own commit only
        const QString address = QStringLiteral("192.0.2.7");
        QMap<QString, QByteArray> expected;
        expected.insert(remoteName(1), page(1, address, kNowText, padding));
        expected.insert(remoteName(2), page(2, address));
        QCOMPARE(takeUploads(), expected);
        QCOMPARE(takeLog(), QStringList{checked(address)} + sent(OnChange, 1) + sent(OnCheck, 2));
        // A tick during the run still refreshes the result on show.
        QCOMPARE(m_view->ftpKekka, event.endsWith(QLatin1String("tick")) ? seen : QString());
    }

    // A close during an upload. A page under way is let finish (cut off, it would stay cut on the server); a
    // QUIT the server leaves unanswered is cancelled, and the page it already holds is no failed upload. The
    // run ends before its next slot, and the close goes on with the exit-time run.
    void closeDuringAnUpload_data()
    {
        QTest::addColumn<QStringList>("server");
        QTest::addColumn<int>("padding");
        QTest::addColumn<bool>("quitUnanswered");
        QTest::newRow("page being stored: let finish")
            << QStringList{QStringLiteral("--rate"), QStringLiteral("20000")} << 100000 << false;
        QTest::newRow("QUIT unanswered: cancelled, the page counts as sent")
            << QStringList{QStringLiteral("--mode"), QStringLiteral("quit-silent")} << 0 << true;
    }
    void closeDuringAnUpload()
    {
        QFETCH(QStringList, server);
        QFETCH(int, padding);
        QFETCH(bool, quitUnanswered);
        QVERIFY2(startFtp(server), qPrintable(m_ftp.error()));
        // A few seconds at the server's rate; an unanswered QUIT is given up after 3 seconds.
        m_engine->Inet2.setTimeouts({2000, quitUnanswered ? 3 : 30, 1, 30});
        setSlot(0, 1, false, true, false, padding);
        setSlot(1, 1, true, false);
        setSlot(2, 1, false, false, true);
        // Sent at an earlier address: the change makes it due, and the close keeps it so.
        setSlot(3, 1, false, true);
        m_engine->settings.slot[3].ChangeSent = true;
        m_engine->settings.slot[3].SentDestination =
            destinationOf(m_engine->settings.global, m_engine->settings.slot[3]);
        answer(QStringLiteral("192.0.2.7"));
        const QString address = QStringLiteral("192.0.2.7");
        const QByteArray firstPage = page(1, address, kNowText, padding);

        QElapsedTimer sinceClose;
        qint64 closeTook = -1;
        bool busyInClose = true;
        QTimer probe;
        int inTransfer = 0;
        connect(&probe, &QTimer::timeout, this, [&] {
            if (sinceClose.isValid() || m_view->ftpNow != status(1, QStringLiteral("転送中")))
                return;
            // The QUIT is what is waited on once the server holds the whole page.
            if (quitUnanswered && remoteBytes(remoteName(1)) != firstPage)
                return;
            if (++inTransfer < 10)
                return;
            sinceClose.start();
            m_engine->requestStop();
            m_engine->whenIdle([&] {
                closeTook = sinceClose.elapsed();
                busyInClose = m_engine->isBusy();
                m_engine->EXEC_EVENT_Unload();
            });
        });
        probe.start(20);
        m_engine->EXEC_EVENT();
        probe.stop();
        qInfo("close waited %lld ms for the run to end", closeTook);

        QVERIFY(sinceClose.isValid());
        QVERIFY2(closeTook >= 0 && closeTook < (quitUnanswered ? 2500 : 8000), qPrintable(QString::number(closeTook)));
        QVERIFY(!busyInClose);
        QVERIFY(!m_engine->isBusy() && !m_engine->stopRequested());
        const QMap<QString, QByteArray> arrived = takeUploads();
        QCOMPARE(arrived.value(remoteName(3)), page(3, address));
        QVERIFY(!arrived.contains(remoteName(2)) && !arrived.contains(remoteName(4)));
        QVERIFY(!m_engine->settings.slot[3].ChangeSent);
        QCOMPARE(arrived.value(remoteName(1)), firstPage);
        // The exit-time run's own QUIT is not cut short: unanswered, it is a failed upload.
        QCOMPARE(takeLog(), QStringList{checked(address)} + sent(OnChange, 1) +
                                QStringList{logLine(QStringLiteral("IPアドレス確認(終了時)"), address)} +
                                (quitUnanswered ? failed(AtExit, 3, QuitUnanswered) : sent(AtExit, 3)));
        QVERIFY(m_engine->settings.slot[0].ChangeSent);
        QCOMPARE(m_engine->settings.slot[0].ResultText, status(1, QStringLiteral("実行完了")));
    }

    // A close handled in the yield between a substitution and its upload: the upload is not begun, as the
    // close could not cancel it once under way, and the close goes on at once.
    void closeBeforeAnUploadBegins_data()
    {
        QTest::addColumn<QString>("work");
        QTest::newRow("run, on check") << "on check";
        QTest::newRow("run, on change") << "on change";
        QTest::newRow("transfer now") << "transfer now";
    }
    void closeBeforeAnUploadBegins()
    {
        QFETCH(QString, work);
        QVERIFY2(startFtp({QStringLiteral("--rate"), QStringLiteral("20000")}), qPrintable(m_ftp.error()));
        m_engine->Inet2.setTimeouts({2000, 30, 1, 30});
        constexpr int padding = 400000; // 20 seconds at the server's rate
        setSlot(0, 1, work == QLatin1String("on check"), work != QLatin1String("on check"), false, padding);
        setSlot(1, 1, true, false);
        answer(QStringLiteral("192.0.2.7"));

        QElapsedTimer sinceClose;
        qint64 closeTook = -1;
        closeOnStatus(status(1, QStringLiteral("置換完了")), sinceClose, closeTook);
        if (work == QLatin1String("transfer now")) {
            m_engine->SelectedTab = 2;
            m_engine->FTPcommand_Click();
        } else {
            m_engine->EXEC_EVENT();
        }
        QVERIFY(sinceClose.isValid());
        QVERIFY2(closeTook >= 0 && closeTook < 2000, qPrintable(QString::number(closeTook)));
        QVERIFY(takeUploads().isEmpty());
        QCOMPARE(takeLog(), work == QLatin1String("transfer now") ? QStringList()
                                                                  : QStringList{checked(QStringLiteral("192.0.2.7"))});
        QCOMPARE(m_view->ftpNow, status(1, QStringLiteral("置換完了")));
    }

    // A close during the address check, handled in the lookup's own yields before the fetch or while the echo
    // page has not answered yet: nothing is (or goes on being) fetched, so a silent echo server does not hold
    // the close. The check did not fail, it was cut short: no "接続不可", no failure logged, the last address
    // stays; the exit-time run then makes its own check.
    void closeDuringTheCheck_data()
    {
        QTest::addColumn<int>("delay");       // ms after the check begins
        QTest::addColumn<bool>("programEnd"); // closed by the program's own end (Resident::end)
        QTest::newRow("before the fetch begins") << 0 << false;
        QTest::newRow("while the echo page answers") << 500 << false;
        QTest::newRow("the program's end while the echo page answers") << 500 << true;
    }
    void closeDuringTheCheck()
    {
        QFETCH(int, delay);
        QFETCH(bool, programEnd);
        Resident resident(*m_engine, Resident::SettingsOnEnd::Keep, Resident::TimerOnStart::Always);
        setSlot(0, 1, true, true);
        m_view->ipAddress = QStringLiteral("192.0.2.7"); // as an earlier run left it
        m_view->chikanTo0 = QStringLiteral("192.0.2.7");
        m_engine->IpCheckState = 1;
        m_view->globalUrl = QStringLiteral("http://127.0.0.1:%1/silent").arg(m_http.port());
        QElapsedTimer sinceClose;
        qint64 closeTook = -1;
        QString captionInClose;
        closeOnStatus(
            QStringLiteral("IPアドレス確認中"), sinceClose, closeTook, delay,
            [&] {
                captionInClose = m_view->ipAddress;
                answer(QStringLiteral("198.51.100.23"));
                if (!programEnd) // else the end makes it
                    m_engine->EXEC_EVENT_Unload();
            },
            programEnd ? std::function<void()>([&] { resident.end(); }) : nullptr);
        m_engine->EXEC_EVENT();
        QVERIFY(sinceClose.isValid());
        QVERIFY2(closeTook >= 0 && closeTook < 1500, qPrintable(QString::number(closeTook)));
        QCOMPARE(captionInClose, QStringLiteral("192.0.2.7"));
        QCOMPARE(m_view->ftpNowHistory.mid(0, 2),
                 QStringList({QStringLiteral("IPアドレス確認中"), QStringLiteral("未実行")}));
        QVERIFY(takeUploads().isEmpty());
        QCOMPARE(takeLog(),
                 QStringList{logLine(QStringLiteral("IPアドレス確認(終了時)"), QStringLiteral("198.51.100.23"))} +
                     (programEnd ? QStringList{logLine(QStringLiteral("END"), QString())} : QStringList()));
        QCOMPARE(m_view->ipAddress, QStringLiteral("198.51.100.23"));
    }

private:
    // A close (stop request, then an action once idle) made in the first pass of the event loop after
    // FTP_now shows `text`; `took` is how long the close then waited.
    // `delay` ms later instead; `then` runs once idle, as the shutdown would; `close` asks for the end instead
    // of a bare stop request.
    void closeOnStatus(const QString& text, QElapsedTimer& since, qint64& took, int delay = 0,
                       std::function<void()> then = {}, std::function<void()> close = {})
    {
        m_view->onFtpNow = [this, text, &since, &took, delay, then, close](const QString& caption) {
            if (caption != text || since.isValid())
                return;
            QTimer::singleShot(delay, this, [this, &since, &took, then, close] {
                since.start();
                m_engine->whenIdle([&since, &took, then] {
                    took = since.elapsed();
                    if (then)
                        then();
                });
                close ? close() : m_engine->requestStop();
            });
        };
    }

    QByteArray remoteBytes(const QString& name) const
    {
        QFile file(m_root->filePath(QStringLiteral("public_html/") + name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void makeEngine(const QByteArray& codec)
    {
        m_engine.reset();
        m_view = std::make_unique<HookedView>();
        m_view->route = 0;
        m_engine = std::make_unique<Engine>(*m_view, CodePage(codec));
        m_engine->Inet1.setTimeouts(2000ms, 3000ms);
        m_engine->Inet2.setTimeouts({2000, 5, 1000, 5});
        GlobalSettings& global = m_engine->settings.global;
        global.LOG = 1;
        global.FTPUSERID = QStringLiteral("veltora");
        global.FTPUSERPASS = QStringLiteral("secret");
        if (m_ftp.port() != 0)
            global.FTPSERVERNAME = QStringLiteral("ftp://127.0.0.1:%1").arg(m_ftp.port());
        for (int s = 0; s < SlotCount; ++s)
            m_engine->settings.slot[s].OKCHECK = 0;
    }

    bool startFtp(const QStringList& arguments)
    {
        const bool started = m_ftp.start(QStringLiteral("ftp_server.py"),
                                         QStringList{QStringLiteral("--root"), m_root->path()} + arguments);
        m_engine->settings.global.FTPSERVERNAME = QStringLiteral("ftp://127.0.0.1:%1").arg(m_ftp.port());
        return started;
    }

    // Slot s (shown as s + 1) with its own template "page<n>.html" going to "public_html/slot<n>.html".
    void setSlot(int s, qint16 okcheck, bool onCheck, bool onChange, bool atExit = false, int padding = 0)
    {
        const int n = s + 1;
        TransferSlot& slot = m_engine->settings.slot[s];
        slot.OKCHECK = okcheck;
        slot.TEMPLATE = QStringLiteral("page%1.html").arg(n);
        slot.HOSTNAME = QStringLiteral("HOSTNAME");
        slot.NOWDTTM = QStringLiteral("NOWDTTM");
        slot.HOSTNAMEEXEC = 1;
        slot.NOWDTTMEXEC = 1;
        slot.FTPDIR = QStringLiteral("public_html");
        slot.FTPFILENAME = remoteName(n);
        slot.EXEC_TIMING1 = onCheck;
        slot.EXEC_TIMING2 = onChange;
        slot.EXEC_TIMING3 = atExit;
        QFile file(slot.TEMPLATE);
        const QByteArray text = templateText(n, padding);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }

    // What the echo server answers from now on: an address, "down" or "no address".
    void answer(const QString& what)
    {
        if (what == QLatin1String("down")) {
            m_view->globalUrl = QStringLiteral("http://127.0.0.1:%1/").arg(unusedLoopbackPort());
            return;
        }
        const QString path = QDir(m_local->path()).filePath(QStringLiteral("answer.html"));
        QFile file(path);
        const QByteArray body =
            what == QLatin1String("no address") ? QByteArray("<html><body>Hello</body></html>\r\n") : echoPage(what);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(body) == body.size());
        QUrl url(QStringLiteral("http://127.0.0.1:%1/file").arg(m_http.port()));
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("path"), path);
        url.setQuery(query);
        m_view->globalUrl = url.toString(QUrl::FullyEncoded);
    }

    // The pages that arrived since the last call, by remote name; they are removed.
    QMap<QString, QByteArray> takeUploads()
    {
        QMap<QString, QByteArray> uploads;
        QDir dir(m_root->filePath(QStringLiteral("public_html")));
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                uploads.insert(name, file.readAll());
            file.close();
            file.remove();
        }
        return uploads;
    }

    // The log's lines since the last call; the file is removed. The bytes must be exactly the lines in the
    // engine's code page, each ended by CR LF.
    QStringList takeLog()
    {
        QFile file(QStringLiteral("Veltora.log"));
        if (!file.exists())
            return {};
        if (!file.open(QIODevice::ReadOnly))
            return {QStringLiteral("<unreadable>")};
        const QByteArray bytes = file.readAll();
        file.close();
        file.remove();
        QStringList lines = m_engine->codePage().decode(bytes).split(QStringLiteral("\r\n"));
        if (lines.takeLast() != QString())
            return {QStringLiteral("<no line end at the end>")};
        QByteArray again;
        for (const QString& line : lines)
            again += m_engine->codePage().encode(line) + "\r\n";
        if (again != bytes)
            return {QStringLiteral("<not the code page's bytes>")};
        return lines;
    }

    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<HookedView> m_view;
    std::unique_ptr<Engine> m_engine;
    ServerProcess m_http;
    ServerProcess m_ftp;
    QString m_oldDir;
    QString m_address6; // what the IPv6 step put on the interface
};

QTEST_GUILESS_MAIN(TestRunCycle)
#include "test_run_cycle.moc"
