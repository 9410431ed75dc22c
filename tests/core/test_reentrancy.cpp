#include "fake_view.h"
#include "run/engine.h"

#include <QTest>

// Every wait yields, so ticks, clicks and a close reach the engine in the middle of its work. These tests
// step into a run (through the page commit it makes after its lookup) and fire those events there.
class TestReentrancy : public QObject
{
    Q_OBJECT

    struct Rig
    {
        FakeView view;
        Engine engine{view, CodePage("UTF-8")}; // the engine copies the code page
        Rig()
        {
            view.route = -1;
            engine.settings.global.AUTOEXEC = 1;
            engine.SelectedTab = 2;
        }
        int runs() const { return int(view.setMemoryCalls.count(0)); }
    };

private slots:
    void eventsDuringARunStartNothing_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("a tick that reaches the period") << "tick";
        QTest::newRow("run now") << "runNow";
        QTest::newRow("check now") << "checkNow";
        QTest::newRow("transfer now") << "transferNow";
    }
    void eventsDuringARunStartNothing()
    {
        QFETCH(QString, event);
        Rig rig;
        rig.view.route = 0; // a lookup would write IP_address
        int nestedCalls = 0;
        rig.view.onSetMemory = [&](int) {
            if (nestedCalls++ > 0)
                return;
            QVERIFY(rig.engine.isBusy());
            const qsizetype lookupsBefore = rig.view.ipAddressHistory.size();
            rig.engine.TickCount = 999;
            rig.engine.FirstRunPending = false;
            if (event == "tick")
                rig.engine.Timer1_Timer();
            else if (event == "runNow")
                rig.engine.Command1_Click();
            else if (event == "checkNow")
                rig.engine.GetGlobalIP_Click();
            else
                rig.engine.FTPcommand_Click();
            QCOMPARE(rig.view.ipAddressHistory.size(), lookupsBefore);
            QCOMPARE(rig.engine.TickCount, qint16(999)); // the tick was not counted
        };
        rig.engine.EXEC_EVENT();
        QCOMPARE(rig.view.setMemoryCalls.size(), 1); // the run's own commit, nothing nested
        QVERIFY(!rig.engine.isBusy());
        // Once the run has ended the same events work again.
        rig.view.onSetMemory = nullptr;
        rig.engine.Command1_Click();
        QCOMPARE(rig.view.setMemoryCalls.size(), 2);
    }

    void aCloseDuringARunWaitsForItsEnd()
    {
        Rig rig;
        QStringList order;
        rig.view.onSetMemory = [&](int) {
            order << "run commits";
            rig.engine.whenIdle([&] {
                order << "close";
                QVERIFY(!rig.engine.isBusy());
            });
            rig.engine.requestStop();
            QVERIFY(rig.engine.stopRequested());
            order << "run goes on";
        };
        rig.engine.EXEC_EVENT();
        QCOMPARE(order, (QStringList{"run commits", "run goes on", "close"}));
        QVERIFY(!rig.engine.stopRequested());
    }

    void whenIdleRunsAtOnceWhenNothingIsInProgress()
    {
        Rig rig;
        bool ran = false;
        rig.engine.whenIdle([&] { ran = true; });
        QVERIFY(ran);
    }

    void theExitRunHappensEvenWhenWorkIsInProgress()
    {
        Rig rig;
        rig.engine.settings.global.LOG = 0;
        int exitLookups = 0;
        rig.view.route = 1;
        rig.view.onSetMemory = [&](int) {
            const qsizetype before = rig.view.ipAddressHistory.size();
            rig.engine.EXEC_EVENT_Unload();
            exitLookups = int(rig.view.ipAddressHistory.size() - before);
        };
        rig.engine.EXEC_EVENT();
        QVERIFY(exitLookups >= 1);
    }
};

QTEST_GUILESS_MAIN(TestReentrancy)
#include "test_reentrancy.moc"
