#include "fake_view.h"
#include "run/engine.h"

#include <QTest>

// Drives Timer1_Timer tick by tick. Every run commits the page on show once (Set_Memory), which is how the
// tests count runs without waiting real minutes.
class TestPeriodicTimer : public QObject
{
    Q_OBJECT

    struct Rig
    {
        FakeView view;
        Engine engine{view, CodePage("UTF-8")}; // the engine copies the code page
        Rig()
        {
            view.route = -1; // no lookup: a run ends at its failed check, which is all these tests need
            engine.settings.global.AUTOEXEC = 1;
        }
        int runs() const { return int(view.setMemoryCalls.size()); }
        void ticks(int count)
        {
            for (int i = 0; i < count; ++i)
                engine.Timer1_Timer();
        }
    };

private slots:
    void runsFollowTheTicks_data()
    {
        QTest::addColumn<QString>("period");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("runs");
        QTest::newRow("four ticks: nothing yet") << "5" << 4 << 0;
        QTest::newRow("first run at the fifth tick") << "5" << 5 << 1;
        QTest::newRow("period 5: next run 50 ticks after the first") << "5" << 54 << 1;
        QTest::newRow("period 5: second run") << "5" << 55 << 2;
        QTest::newRow("period 1: every 10 ticks") << "1" << 5 + 30 << 4;
        QTest::newRow("period 1: one tick short") << "1" << 5 + 29 << 3;
        QTest::newRow("period 600") << "600" << 5 + 6000 << 2;
    }
    void runsFollowTheTicks()
    {
        QFETCH(QString, period);
        QFETCH(int, ticks);
        QFETCH(int, runs);
        Rig rig;
        rig.view.timerSet = period;
        rig.ticks(ticks);
        QCOMPARE(rig.runs(), runs);
        QCOMPARE(rig.engine.FirstRunPending, ticks < 5);
    }

    void periodChangedWhileRunning()
    {
        Rig rig;
        rig.ticks(5 + 25);
        QCOMPARE(rig.runs(), 1);
        QCOMPARE(rig.engine.TickCount, qint16(25));
        rig.view.timerSet = QStringLiteral("2"); // 20 ticks: already exceeded, so the very next tick runs
        rig.ticks(1);
        QCOMPARE(rig.runs(), 2);
        QCOMPARE(rig.engine.TickCount, qint16(0));
    }

    void runNowResetsTheCountButNotTheFirstRun()
    {
        Rig rig;
        rig.ticks(2);
        rig.engine.Command1_Click();
        QCOMPARE(rig.runs(), 1);
        QCOMPARE(rig.engine.TickCount, qint16(0));
        QVERIFY(rig.engine.FirstRunPending);
        QCOMPARE(rig.engine.Timer1.interval(), 6000);
        rig.ticks(4);
        QCOMPARE(rig.runs(), 1);
        rig.ticks(1);
        QCOMPARE(rig.runs(), 2);
        QVERIFY(!rig.engine.FirstRunPending);
    }

    void runNowArmsTheTimerWhateverAutoexecSays()
    {
        Rig rig;
        rig.engine.settings.global.AUTOEXEC = 0;
        rig.engine.Command1_Click();
        QCOMPARE(rig.runs(), 1);
        QVERIFY(rig.engine.Timer1.isArmed());
        rig.ticks(100); // armed, but ticks do nothing until the setting is 1
        QCOMPARE(rig.runs(), 1);
        QCOMPARE(rig.engine.TickCount, qint16(0));
    }

    void autoexecNotCommittedHandlesNothing_data()
    {
        QTest::addColumn<int>("autoexec");
        QTest::newRow("0") << 0;
        QTest::newRow("2, greyed") << 2;
    }
    void autoexecNotCommittedHandlesNothing()
    {
        QFETCH(int, autoexec);
        Rig rig;
        rig.engine.settings.global.AUTOEXEC = qint16(autoexec);
        rig.engine.SelectedTab = 3;
        rig.engine.settings.slot[1].ResultText = QStringLiteral("[設定2] 実行完了");
        rig.ticks(60);
        QCOMPARE(rig.runs(), 0);
        QCOMPARE(rig.engine.TickCount, qint16(0));
        QCOMPARE(rig.view.ftpKekka, QString()); // not even the refresh
    }

    void refreshShowsTheSlotOnShow_data()
    {
        QTest::addColumn<int>("selectedTab");
        QTest::addColumn<QString>("kekka");
        QTest::newRow("nothing chosen yet") << 0 << QString();
        QTest::newRow("basic settings page") << 1 << QString();
        QTest::newRow("設定1") << 2 << QStringLiteral("slot 0");
        QTest::newRow("設定9") << 10 << QStringLiteral("slot 8");
    }
    void refreshShowsTheSlotOnShow()
    {
        QFETCH(int, selectedTab);
        QFETCH(QString, kekka);
        Rig rig;
        for (int i = 0; i < SlotCount; ++i)
            rig.engine.settings.slot[i].ResultText = QStringLiteral("slot %1").arg(i);
        rig.engine.SelectedTab = qint16(selectedTab);
        rig.ticks(1);
        QCOMPARE(rig.view.ftpKekka, kekka);
    }

    void unparsablePeriodCountsAsFive()
    {
        Rig rig;
        rig.view.timerSet = QString();
        rig.ticks(5 + 49);
        QCOMPARE(rig.runs(), 1); // not a run at every tick
        rig.ticks(1);
        QCOMPARE(rig.runs(), 2);
    }
};

QTEST_GUILESS_MAIN(TestPeriodicTimer)
#include "test_periodic_timer.moc"
