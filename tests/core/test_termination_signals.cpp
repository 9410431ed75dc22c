#include "platform/termination_signals.h"
#include "test_timeouts.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TestTerminationSignals : public QObject
{
    Q_OBJECT
private slots:
    void signalBecomesQtSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalBecomesQtSignal()
    {
        QFETCH(int, signalNumber);
        TerminationSignals handler;
        QVERIFY(handler.isInstalled());
        QSignalSpy spy(&handler, &TerminationSignals::terminationRequested);

        QCOMPARE(::raise(signalNumber), 0);
        // Still alive here: the default action would have ended the process.
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), signalNumber);
        QTest::qWait(100);
        QCOMPARE(spy.count(), 1);
    }

    void everySignalIsDeliveredInOrder()
    {
        TerminationSignals handler;
        QSignalSpy spy(&handler, &TerminationSignals::terminationRequested);
        ::raise(SIGHUP);
        ::raise(SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, scaledMs(5000));
        QCOMPARE(spy.at(0).at(0).toInt(), int(SIGHUP));
        QCOMPARE(spy.at(1).at(0).toInt(), int(SIGTERM));
    }

    void onlyOneInstanceHoldsTheHandler()
    {
        TerminationSignals first;
        TerminationSignals second;
        QVERIFY(first.isInstalled());
        QVERIFY(!second.isInstalled());
        QSignalSpy spyFirst(&first, &TerminationSignals::terminationRequested);
        QSignalSpy spySecond(&second, &TerminationSignals::terminationRequested);
        ::raise(SIGINT);
        QTRY_COMPARE_WITH_TIMEOUT(spyFirst.count(), 1, scaledMs(5000));
        QCOMPARE(spySecond.count(), 0);
    }

    void previousDispositionComesBack()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction before = {};
        ::sigaction(SIGHUP, &ignore, &before);
        {
            TerminationSignals handler;
            struct sigaction during = {};
            ::sigaction(SIGHUP, nullptr, &during);
            QVERIFY(during.sa_handler != SIG_IGN);
        }
        struct sigaction after = {};
        ::sigaction(SIGHUP, nullptr, &after);
        QVERIFY(after.sa_handler == SIG_IGN);
        ::sigaction(SIGHUP, &before, nullptr);

        // A new instance may take the handler again once the old one is gone.
        TerminationSignals again;
        QVERIFY(again.isInstalled());
    }

    void receiverMayDestroyTheHandler()
    {
        auto* handler = new TerminationSignals;
        int calls = 0;
        connect(handler, &TerminationSignals::terminationRequested, this, [&] {
            ++calls;
            delete handler;
        });
        QPointer<TerminationSignals> guard(handler);
        ::raise(SIGTERM);
        ::raise(SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), scaledMs(5000));
        QTest::qWait(50);
        QCOMPARE(calls, 1);
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "test_termination_signals.moc"
