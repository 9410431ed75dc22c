#include "fake_view.h"
#include "publish/substitution.h"
#include "run/engine.h"
#include "test_files.h"
#include "unprivileged.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Rows hold Japanese text as UTF-8; files are in the engine's code page. Rows with bytes that are not valid
// UTF-8 are taken as they are.
QByteArray inCodePage(const QByteArray& row, const CodePage& page)
{
    const QString text = QString::fromUtf8(row);
    const bool validUtf8 = text.toUtf8() == row;
    return validUtf8 ? page.encode(text) : row;
}

const QByteArray sjis = "windows-31j";
const QByteArray utf8 = "UTF-8";

} // namespace

class TestSubstitution : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<TemporaryWorkDir>();
        QVERIFY(m_dir->isValid());
        Clock::setNow(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7)));
    }
    void cleanup()
    {
        m_dir.reset();
        Clock::reset();
    }

    void substitutes_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("hostMarker");
        QTest::addColumn<QString>("timeMarker");
        QTest::addColumn<int>("hostExec");
        QTest::addColumn<int>("timeExec");
        QTest::addColumn<QString>("to0");
        QTest::addColumn<QString>("to1");
        QTest::addColumn<QByteArray>("expected");

        const QString host = QStringLiteral("HOSTNAME");
        const QString time = QStringLiteral("NOWDTTM");
        const QString ip = QStringLiteral("203.0.113.9");
        const QString when = QStringLiteral("2026/12/06 9:05:07");
        for (const QByteArray& codec : {sjis, utf8}) {
            const auto row = [&](const char* name) -> QTestData& { return QTest::newRow(codec + ": " + name); };
            row("both switches on") << codec << QByteArray("<p>HOSTNAME at NOWDTTM</p>\r\n") << host << time << 1 << 1
                                    << ip << when << QByteArray("<p>203.0.113.9 at 2026/12/06 9:05:07</p>\r\n");
            row("address switch off") << codec << QByteArray("HOSTNAME NOWDTTM\r\n") << host << time << 0 << 1 << ip
                                      << when << QByteArray("HOSTNAME 2026/12/06 9:05:07\r\n");
            row("time switch off") << codec << QByteArray("HOSTNAME NOWDTTM\r\n") << host << time << 1 << 0 << ip
                                   << when << QByteArray("203.0.113.9 NOWDTTM\r\n");
            row("switch value other than 1 is off") << codec << QByteArray("HOSTNAME NOWDTTM\r\n") << host << time << -1
                                                    << 2 << ip << when << QByteArray("HOSTNAME NOWDTTM\r\n");
            row("several times in a line") << codec << QByteArray("HOSTNAMEHOSTNAME-HOSTNAME\r\n") << host << time << 1
                                           << 1 << ip << when << QByteArray("203.0.113.9203.0.113.9-203.0.113.9\r\n");
            row("other letter case stays") << codec << QByteArray("hostname HostName nowdttm\r\n") << host << time << 1
                                           << 1 << ip << when << QByteArray("hostname HostName nowdttm\r\n");
            row("broken by CR LF") << codec << QByteArray("HOST\r\nNAME\r\n") << host << time << 1 << 1 << ip << when
                                   << QByteArray("HOST\r\nNAME\r\n");
            row("broken by lone LF") << codec << QByteArray("HOST\nNAME\r\n") << host << time << 1 << 1 << ip << when
                                     << QByteArray("HOST\nNAME\r\n");
            row("address text holds the time marker")
                << codec << QByteArray("HOSTNAME\r\n") << host << time << 1 << 1 << QStringLiteral("x NOWDTTM y")
                << when << QByteArray("x 2026/12/06 9:05:07 y\r\n");
            row("no rescan of replaced text")
                << codec << QByteArray("AB\r\n") << QStringLiteral("A") << QStringLiteral("B") << 1 << 0
                << QStringLiteral("AA") << when << QByteArray("AAB\r\n");
            row("failed lookup, default marker") << codec << QByteArray("HOSTNAME\r\n") << host << time << 1 << 1
                                                 << host << time << QByteArray("HOSTNAME\r\n");
            row("failed lookup, other marker") << codec << QByteArray("[IP]\r\n") << QStringLiteral("[IP]") << time << 1
                                               << 1 << host << when << QByteArray("HOSTNAME\r\n");
            row("empty markers change nothing") << codec << QByteArray("HOSTNAME NOWDTTM\r\n") << QString() << QString()
                                                << 1 << 1 << ip << when << QByteArray("HOSTNAME NOWDTTM\r\n");
            row("last line without line end") << codec << QByteArray("a\r\nHOSTNAME") << host << time << 1 << 1 << ip
                                              << when << QByteArray("a\r\n203.0.113.9\r\n");
            row("LF-only template is one line") << codec << QByteArray("a\nHOSTNAME\nb\n") << host << time << 1 << 1
                                                << ip << when << QByteArray("a\n203.0.113.9\nb\n\r\n");
            row("lone CR ends a line") << codec << QByteArray("a\rb\r\r\n") << host << time << 1 << 1 << ip << when
                                       << QByteArray("a\r\nb\r\n\r\n");
            row("empty lines kept") << codec << QByteArray("\r\n\r\nx\r\n") << host << time << 1 << 1 << ip << when
                                    << QByteArray("\r\n\r\nx\r\n");
            row("empty template") << codec << QByteArray() << host << time << 1 << 1 << ip << when << QByteArray();
            row("Japanese marker and text")
                << codec << QStringLiteral("住所：＠ＩＰ＠\r\n").toUtf8() << QStringLiteral("＠ＩＰ＠") << time << 1
                << 1 << QStringLiteral("自宅 ") + ip << when
                << (QStringLiteral("住所：自宅 ") + ip + QStringLiteral("\r\n")).toUtf8();
        }
        // "ヘ" is 0x83 0x77 ('w') and "ハ" 0x83 0x6E ('n') in Shift_JIS: an ASCII trail byte is no marker start.
        const QByteArray trailH = "\x83H"; // a double-byte character whose second byte is 'H'
        QTest::newRow("windows-31j: trail byte H + OSTNAME is no match")
            << sjis << QByteArray(trailH + "OSTNAME HOSTNAME\r\n") << host << time << 1 << 1 << ip << when
            << QByteArray(trailH + "OSTNAME 203.0.113.9\r\n");
        QTest::newRow("windows-31j: marker right after a double-byte character")
            << sjis << QByteArray("\x83HHOSTNAME\r\n") << host << time << 1 << 1 << ip << when
            << QByteArray("\x83H203.0.113.9\r\n");
        QTest::newRow("windows-31j: half-width katakana before the marker")
            << sjis << QByteArray("\xb1HOSTNAME\r\n") << host << time << 1 << 1 << ip << when
            << QByteArray("\xb1"
                          "203.0.113.9\r\n");
        QTest::newRow("windows-31j: invalid bytes pass through")
            << sjis << QByteArray("\xff\xa0\x80 HOSTNAME \xfd\r\n") << host << time << 1 << 1 << ip << when
            << QByteArray("\xff\xa0\x80 203.0.113.9 \xfd\r\n");
        QTest::newRow("UTF-8: invalid bytes pass through")
            << utf8 << QByteArray("\xff\xe6HOSTNAME \x80\xc3\r\n") << host << time << 1 << 1 << ip << when
            << QByteArray("\xff\xe6"
                          "203.0.113.9 \x80\xc3\r\n");
        QTest::newRow("UTF-8: marker with a multi-byte character")
            << utf8 << QStringLiteral("日時=時刻\r\n").toUtf8() << host << QStringLiteral("時刻") << 1 << 1 << ip
            << when << QStringLiteral("日時=2026/12/06 9:05:07\r\n").toUtf8();
    }
    void substitutes()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QByteArray, page);
        QFETCH(QString, hostMarker);
        QFETCH(QString, timeMarker);
        QFETCH(int, hostExec);
        QFETCH(int, timeExec);
        QFETCH(QString, to0);
        QFETCH(QString, to1);
        QFETCH(QByteArray, expected);

        const CodePage codePage(codec);
        const QByteArray templateBytes = inCodePage(page, codePage);
        const QByteArray expectedBytes = inCodePage(expected, codePage);
        QVERIFY(writeFile(QStringLiteral("page.html"), templateBytes));

        FakeView view;
        view.chikanTo0 = to0;
        view.chikanTo1 = to1;
        Engine engine(view, codePage);
        TransferSlot& slot = engine.settings.slot[3];
        slot.TEMPLATE = QStringLiteral("page.html");
        slot.HOSTNAME = hostMarker;
        slot.NOWDTTM = timeMarker;
        slot.HOSTNAMEEXEC = qint16(hostExec);
        slot.NOWDTTMEXEC = qint16(timeExec);

        QCOMPARE(engine.CHIKAN(3), qint16(0));
        QCOMPARE(fileBytes(QStringLiteral("page.html$$3")), expectedBytes);
        QCOMPARE(slot.ResultText, QStringLiteral("[設定4] 置換完了 (2026/12/06 9:05:07)"));
        QCOMPARE(view.ftpNow, slot.ResultText);
        QCOMPARE(fileBytes(QStringLiteral("page.html")), templateBytes);
    }

    void startTextShownWhileWorking()
    {
        QVERIFY(writeFile(QStringLiteral("t.html"), "x\r\n"));
        FakeView view;
        Engine engine(view, CodePage(utf8));
        engine.settings.slot[0].TEMPLATE = QStringLiteral("t.html");
        QStringList seen;
        // The clock is asked once per status text; record what FTP_now showed at each ask.
        Clock::setSource([&] {
            seen << view.ftpNow;
            return QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7));
        });
        QCOMPARE(engine.CHIKAN(0), qint16(0));
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(1), QStringLiteral("[設定1] 置換中 (2026/12/06 9:05:07)"));
    }

    void missingTemplateFails_data()
    {
        QTest::addColumn<QString>("templateName");
        QTest::newRow("no such file") << QStringLiteral("absent.html");
        QTest::newRow("no such folder") << QStringLiteral("nowhere/absent.html");
        QTest::newRow("empty name") << QString();
    }
    void missingTemplateFails()
    {
        QFETCH(QString, templateName);
        FakeView view;
        Engine engine(view, CodePage(sjis));
        engine.settings.slot[8].TEMPLATE = templateName;
        QCOMPARE(engine.CHIKAN(8), qint16(-1));
        QVERIFY(!QFile::exists(templateName + QStringLiteral("$$8")));
        QCOMPARE(engine.settings.slot[8].ResultText, QStringLiteral("[設定9] 置換失敗 (2026/12/06 9:05:07)"));
        QCOMPARE(view.ftpNow, engine.settings.slot[8].ResultText);
    }

    // The work file is replaced whole or not at all; in a read-only folder a writable one is written in place.
    void workFileWhereWritingIsHindered_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("written");
        QTest::newRow("a folder in the work file's place") << 0 << false;
        QTest::newRow("read-only folder, writable work file: written in place") << 1 << true;
        QTest::newRow("read-only folder, read-only work file") << 2 << false;
        QTest::newRow("read-only folder, no work file yet") << 3 << false;
        QTest::newRow("read-only work file in a writable folder") << 4 << false;
    }
    void workFileWhereWritingIsHindered()
    {
        QFETCH(int, how);
        QFETCH(bool, written);
        // Permission bits stop only an unprivileged user.
        if (how >= 1) {
            const UnprivilegedRun run = runCurrentCaseUnprivileged();
            if (run.handedOver) {
                QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
                return;
            }
        }
        const QString work = QStringLiteral("t.html$$0");
        const QByteArray old = "previous page\r\n";
        QVERIFY(writeFile(QStringLiteral("t.html"), "HOSTNAME\r\n"));
        if (how == 0)
            QVERIFY(QDir().mkpath(work + QStringLiteral("/keep"))); // no file goes over it, whatever the rights
        else if (how != 3)
            QVERIFY(writeFile(work, old));
        if (how == 2 || how == 4)
            QVERIFY(QFile::setPermissions(work, QFileDevice::ReadOwner));
        if (how >= 1 && how <= 3)
            QVERIFY(QFile::setPermissions(QStringLiteral("."), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        FakeView view;
        view.chikanTo0 = QStringLiteral("203.0.113.9");
        Engine engine(view, CodePage(utf8));
        engine.settings.slot[0].TEMPLATE = QStringLiteral("t.html");
        engine.settings.slot[0].HOSTNAME = QStringLiteral("HOSTNAME");
        engine.settings.slot[0].HOSTNAMEEXEC = 1;
        const qint16 result = engine.CHIKAN(0);
        QVERIFY(QFile::setPermissions(QStringLiteral("."),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        QCOMPARE(result, qint16(written ? 0 : -1));
        QCOMPARE(engine.settings.slot[0].ResultText, written ? QStringLiteral("[設定1] 置換完了 (2026/12/06 9:05:07)")
                                                             : QStringLiteral("[設定1] 置換失敗 (2026/12/06 9:05:07)"));
        QCOMPARE(view.ftpNow, engine.settings.slot[0].ResultText);
        if (how == 0)
            QVERIFY(QFileInfo(work + QStringLiteral("/keep")).isDir());
        else if (how == 3)
            QVERIFY(!QFile::exists(work));
        else
            QCOMPARE(fileBytes(work), written ? QByteArray("203.0.113.9\r\n") : old);
        // Nothing written aside is left behind.
        QStringList expected{QStringLiteral("t.html")};
        if (how != 3)
            expected << work;
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name), expected);
    }

    void slotsSharingTemplateGetOwnWorkFiles()
    {
        QVERIFY(writeFile(QStringLiteral("TEMPLATE.HTML"), "HOSTNAME\r\n"));
        FakeView view;
        view.chikanTo0 = QStringLiteral("198.51.100.7");
        Engine engine(view, CodePage(utf8));
        for (int No : {0, 1}) {
            engine.settings.slot[No].TEMPLATE = QStringLiteral("TEMPLATE.HTML");
            engine.settings.slot[No].HOSTNAME = QStringLiteral("HOSTNAME");
            engine.settings.slot[No].HOSTNAMEEXEC = qint16(No == 0 ? 1 : 0);
            QCOMPARE(engine.CHIKAN(qint16(No)), qint16(0));
        }
        QCOMPARE(fileBytes(QStringLiteral("TEMPLATE.HTML$$0")), QByteArray("198.51.100.7\r\n"));
        QCOMPARE(fileBytes(QStringLiteral("TEMPLATE.HTML$$1")), QByteArray("HOSTNAME\r\n"));
    }

    void replacementTextReadAtTimeOfUse()
    {
        QVERIFY(writeFile(QStringLiteral("t.html"), "HOSTNAME\r\n"));
        FakeView view;
        Engine engine(view, CodePage(utf8));
        engine.settings.slot[0].TEMPLATE = QStringLiteral("t.html");
        engine.settings.slot[0].HOSTNAME = QStringLiteral("HOSTNAME");
        engine.settings.slot[0].HOSTNAMEEXEC = 1;
        view.chikanTo0 = QStringLiteral("a");
        QCOMPARE(engine.CHIKAN(0), qint16(0));
        view.chikanTo0 = QStringLiteral("b");
        QCOMPARE(engine.CHIKAN(0), qint16(0));
        QCOMPARE(fileBytes(QStringLiteral("t.html$$0")), QByteArray("b\r\n"));
    }

    void slotOutsideRangeTouchesNothing_data()
    {
        QTest::addColumn<int>("No");
        QTest::newRow("-1") << -1;
        QTest::newRow("9") << 9;
        QTest::newRow("10") << 10;
        QTest::newRow("-32768") << -32768;
    }
    void slotOutsideRangeTouchesNothing()
    {
        QFETCH(int, No);
        QVERIFY(writeFile(QStringLiteral("t.html"), "HOSTNAME\r\n"));
        FakeView view;
        Engine engine(view, CodePage(utf8));
        for (TransferSlot& slot : engine.settings.slot) {
            slot.TEMPLATE = QStringLiteral("t.html");
            slot.ResultText = QStringLiteral("before");
        }
        QCOMPARE(engine.CHIKAN(qint16(No)), qint16(0));
        QCOMPARE(view.ftpNow, QStringLiteral("未実行"));
        for (const TransferSlot& slot : engine.settings.slot)
            QCOMPARE(slot.ResultText, QStringLiteral("before"));
        QVERIFY(QDir().entryList({QStringLiteral("t.html$$*")}).isEmpty());
    }

    // Line ends and markers that straddle the reader's chunks.
    void streamAcrossChunks_data()
    {
        QTest::addColumn<int>("offset");
        for (int offset : {-9, -8, -5, -2, -1, 0, 1})
            QTest::newRow(qPrintable(QString::number(offset))) << offset;
    }
    void streamAcrossChunks()
    {
        QFETCH(int, offset);
        const int chunk = 256 * 1024;
        QByteArray in(chunk + offset, 'x');
        in += "\r\nHOSTNAME\r\n";
        in += QByteArray(chunk * 2, 'y') + "HOSTNAME\r\n";
        QByteArray expected = in;
        expected.replace("HOSTNAME", "1.2.3.4");
        QBuffer source(&in);
        QByteArray out;
        QBuffer sink(&out);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(sink.open(QIODevice::WriteOnly));
        QVERIFY(substituteStream(source, sink, {{"HOSTNAME", "1.2.3.4"}}, CodePage(sjis)));
        QCOMPARE(out.size(), expected.size());
        QVERIFY(out == expected);
    }

    void readErrorFails()
    {
        QBuffer source; // never opened: reads fail
        QByteArray out;
        QBuffer sink(&out);
        QVERIFY(sink.open(QIODevice::WriteOnly));
        QString error;
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::read (QBuffer): device not open");
        QVERIFY(!substituteStream(source, sink, {}, CodePage(utf8), &error));
        QVERIFY(!error.isEmpty());
    }

private:
    std::unique_ptr<TemporaryWorkDir> m_dir;
};

QTEST_GUILESS_MAIN(TestSubstitution)
#include "test_substitution.moc"
