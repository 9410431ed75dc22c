#include "platform/code_page.h"
#include "run/toolkit.h"
#include "test_timeouts.h"

#include <QTest>

class TestToolkit : public QObject
{
    Q_OBJECT
private slots:
    void dateTimeText_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        QTest::newRow("morning, one-digit hour")
            << QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7)) << QStringLiteral("2026/12/06 9:05:07");
        QTest::newRow("afternoon") << QDateTime(QDate(2026, 1, 2), QTime(23, 59, 59))
                                   << QStringLiteral("2026/01/02 23:59:59");
        QTest::newRow("exactly midnight: the date alone")
            << QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0)) << QStringLiteral("2026/12/06");
        QTest::newRow("one second past midnight")
            << QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)) << QStringLiteral("2026/12/06 0:00:01");
    }
    void dateTimeText()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QCOMPARE(Clock::dateTimeText(when), text);
    }

    void clockCanBeSetAndReset()
    {
        const QDateTime fixed(QDate(2001, 2, 3), QTime(4, 5, 6));
        Clock::setNow(fixed);
        QCOMPARE(Clock::now(), fixed);
        QCOMPARE(Clock::nowText(), QStringLiteral("2001/02/03 4:05:06"));
        Clock::reset();
        QVERIFY(qAbs(Clock::now().secsTo(QDateTime::currentDateTime())) < 5);
    }

    void timerIntervalZeroStops()
    {
        IntervalTimer timer;
        int ticks = 0;
        connect(&timer, &IntervalTimer::tick, this, [&] { ++ticks; });
        timer.setInterval(0);
        QVERIFY(!timer.isArmed());
        QTest::qWait(50);
        QCOMPARE(ticks, 0);
        timer.setInterval(10);
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 2, scaledMs(5000));
        timer.setInterval(0);
        const int stoppedAt = ticks;
        QTest::qWait(60);
        QCOMPARE(ticks, stoppedAt);
    }

    void codePageRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("windows-31j") << QByteArray("windows-31j") << QStringLiteral("未取得")
                                     << QByteArray("\x96\xa2\x8e\xe6\x93\xbe");
        QTest::newRow("windows-31j half-width katakana")
            << QByteArray("windows-31j") << QStringLiteral("ﾎｰﾑ") << QByteArray("\xce\xb0\xd1");
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << QStringLiteral("未取得") << QStringLiteral("未取得").toUtf8();
    }
    void codePageRoundTrip()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const CodePage page(codec);
        QCOMPARE(page.encode(text), bytes);
        QCOMPARE(page.decode(bytes), text);
    }

    void charLength_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("length");
        QTest::newRow("sjis ascii") << QByteArray("windows-31j") << QByteArray("H") << 1;
        QTest::newRow("sjis double byte, trail 'H'") << QByteArray("windows-31j") << QByteArray("\x83H") << 2;
        QTest::newRow("sjis half-width kana") << QByteArray("windows-31j") << QByteArray("\xb1") << 1;
        QTest::newRow("sjis lead byte at end") << QByteArray("windows-31j") << QByteArray("\x83") << 1;
        QTest::newRow("utf8 three bytes") << QByteArray("UTF-8") << QStringLiteral("未").toUtf8() << 3;
        QTest::newRow("utf8 broken sequence") << QByteArray("UTF-8") << QByteArray("\xe6H") << 1;
        QTest::newRow("utf8 stray continuation") << QByteArray("UTF-8") << QByteArray("\x80H") << 1;
    }
    void charLength()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QByteArray, bytes);
        QFETCH(int, length);
        QCOMPARE(int(CodePage(codec).charLength(bytes.constData(), bytes.size())), length);
    }

    void systemCodePageIsUsable() { QVERIFY(!CodePage::system().encode(QStringLiteral("設定")).contains('?')); }
};

QTEST_GUILESS_MAIN(TestToolkit)
#include "test_toolkit.moc"
