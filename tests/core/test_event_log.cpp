#include "fake_view.h"
#include "run/engine.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QByteArray logBytes()
{
    QFile file(QStringLiteral("Veltora.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

int openFileCount()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TemporaryWorkDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<TemporaryWorkDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        m_dir.reset();
        Clock::reset();
    }

    void line_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("line");
        const QDateTime morning(QDate(2026, 12, 6), QTime(10, 15, 36));
        for (const char* codec : {"windows-31j", "UTF-8"}) {
            const QByteArray name(codec);
            QTest::addRow("%s: address found", codec)
                << name << morning << QStringLiteral("IPアドレス確認") << QStringLiteral("192.0.2.7")
                << QStringLiteral("#2026-12-06 10:15:36#,\"IPアドレス確認\",\"192.0.2.7\"\r\n");
            QTest::addRow("%s: exactly midnight", codec)
                << name << QDateTime(QDate(2026, 1, 2), QTime(0, 0, 0)) << QStringLiteral("START") << QString()
                << QStringLiteral("#2026-01-02#,\"START\",\"\"\r\n");
            QTest::addRow("%s: one second past midnight, two-digit hour", codec)
                << name << QDateTime(QDate(2026, 1, 2), QTime(0, 0, 1)) << QStringLiteral("END") << QString()
                << QStringLiteral("#2026-01-02 00:00:01#,\"END\",\"\"\r\n");
            QTest::addRow("%s: five past midnight keeps its time", codec)
                << name << QDateTime(QDate(2026, 1, 2), QTime(0, 5, 0)) << QStringLiteral("END") << QString()
                << QStringLiteral("#2026-01-02 00:05:00#,\"END\",\"\"\r\n");
            QTest::addRow("%s: quotes written as they are", codec)
                << name << morning << QStringLiteral("FTP転送失敗(今すぐ転送)") << QStringLiteral("a\"b")
                << QStringLiteral("#2026-12-06 10:15:36#,\"FTP転送失敗(今すぐ転送)\",\"a\"b\"\r\n");
        }
    }
    void line()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QDateTime, when);
        QFETCH(QString, event);
        QFETCH(QString, detail);
        QFETCH(QString, line);
        const CodePage codePage(codec);
        FakeView view;
        Engine engine(view, codePage);
        engine.settings.global.LOG = 1;
        Clock::setNow(when);
        engine.Save_Log(event, detail);
        QCOMPARE(logBytes(), codePage.encode(line));
    }

    void windows31jBytes()
    {
        FakeView view;
        const CodePage codePage("windows-31j"); // the engine keeps a reference
        Engine engine(view, codePage);
        engine.settings.global.LOG = 1;
        Clock::setNow(QDateTime(QDate(2026, 12, 6), QTime(10, 15, 36)));
        engine.Save_Log(QStringLiteral("IPアドレス確認"), QStringLiteral("失敗"));
        QCOMPARE(logBytes(),
                 QByteArray("#2026-12-06 10:15:36#,\"IP\x83\x41\x83\x68\x83\x8c\x83\x58\x8a\x6d\x94\x46\",\""
                            "\x8e\xb8\x94\x73\"\r\n"));
    }

    void appendingKeepsEarlierLines()
    {
        FakeView view;
        const CodePage codePage("UTF-8"); // the engine keeps a reference
        Engine engine(view, codePage);
        {
            QFile existing(QStringLiteral("Veltora.log"));
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write("earlier\r\n");
        }
        engine.settings.global.LOG = -1; // any non-zero value is on
        Clock::setNow(QDateTime(QDate(2026, 12, 6), QTime(10, 15, 36)));
        engine.Save_Log(QStringLiteral("START"), QString());
        engine.Save_Log(QStringLiteral("END"), QString());
        QCOMPARE(logBytes(), QByteArray("earlier\r\n#2026-12-06 10:15:36#,\"START\",\"\"\r\n"
                                        "#2026-12-06 10:15:36#,\"END\",\"\"\r\n"));
    }

    void logOffCreatesNothing()
    {
        FakeView view;
        const CodePage codePage("UTF-8"); // the engine keeps a reference
        Engine engine(view, codePage);
        engine.settings.global.LOG = 0;
        engine.Save_Log(QStringLiteral("START"), QString());
        engine.Save_Log(QStringLiteral("END"), QString());
        QVERIFY(!QFile::exists(QStringLiteral("Veltora.log")));
    }

    void fullDiskIsSwallowed()
    {
        // Opening succeeds, the write fails: the line is lost, the file is closed all the same.
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), QStringLiteral("Veltora.log")));
        FakeView view;
        const CodePage codePage("UTF-8");
        Engine engine(view, codePage);
        engine.settings.global.LOG = 1;
        const int before = openFileCount();
        engine.Save_Log(QStringLiteral("START"), QString());
        engine.Save_Log(QStringLiteral("END"), QString());
        QCOMPARE(openFileCount(), before);
    }

    void unwritableLogIsSwallowed()
    {
        // A directory in the log's place cannot be opened for appending, even by root.
        QVERIFY(QDir().mkdir(QStringLiteral("Veltora.log")));
        FakeView view;
        const CodePage codePage("UTF-8"); // the engine keeps a reference
        Engine engine(view, codePage);
        engine.settings.global.LOG = 1;
        const int before = openFileCount();
        engine.Save_Log(QStringLiteral("START"), QString());
        QCOMPARE(openFileCount(), before);
        QVERIFY(QFileInfo(QStringLiteral("Veltora.log")).isDir());
        QVERIFY(QDir(QStringLiteral("Veltora.log")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "test_event_log.moc"
