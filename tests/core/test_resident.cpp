#include "fake_view.h"
#include "run/engine.h"
#include "run/resident.h"
#include "server_process.h"
#include "settings/ini_file.h"
#include "test_files.h"

#include <QTest>

Q_DECLARE_METATYPE(Resident::SettingsOnEnd)
Q_DECLARE_METATYPE(Resident::TimerOnStart)

// The resident program's start and end in their one order, for both front ends: the window saves the settings
// before the exit-time run, the headless service never writes them, and neither lets its own steps (the
// commit, the icon) slip out of place. A front end's steps are recorded through the signals, the engine's
// through the events it records, and the settings file is looked at while the exit-time run is under way.
class TestResident : public QObject
{
    Q_OBJECT
private slots:
    void startAndEnd_data()
    {
        QTest::addColumn<Resident::SettingsOnEnd>("settingsOnEnd");
        QTest::addColumn<Resident::TimerOnStart>("timerOnStart");
        QTest::addColumn<int>("autoExec"); // in the settings file
        QTest::addColumn<int>("interval"); // of Timer1 after the start
        QTest::addColumn<bool>("savedBeforeExitRun");

        using S = Resident::SettingsOnEnd;
        using T = Resident::TimerOnStart;
        QTest::newRow("window, AUTOEXEC 1") << S::Save << T::AsAutoExecSays << 1 << 6000 << true;
        QTest::newRow("window, AUTOEXEC 0: timer stopped") << S::Save << T::AsAutoExecSays << 0 << 0 << true;
        QTest::newRow("headless, AUTOEXEC 0: timer armed all the same") << S::Keep << T::Always << 0 << 6000 << false;
        QTest::newRow("headless, AUTOEXEC 1") << S::Keep << T::Always << 1 << 6000 << false;
    }
    void startAndEnd()
    {
        QFETCH(Resident::SettingsOnEnd, settingsOnEnd);
        QFETCH(Resident::TimerOnStart, timerOnStart);
        QFETCH(int, autoExec);
        QFETCH(int, interval);
        QFETCH(bool, savedBeforeExitRun);

        TemporaryWorkDir dir;
        QVERIFY(dir.isValid());
        const CodePage codePage("UTF-8");
        {
            SettingsModel file;
            file.applyDefaults();
            file.global.LOG = 1;
            file.global.AUTOEXEC = qint16(autoExec);
            QVERIFY(Save_ini(file, codePage));
        }
        const QByteArray fileBefore = fileBytes(QString::fromLatin1(SettingsFileName));

        FakeView view;
        view.globalUrl = QStringLiteral("http://127.0.0.1:%1/").arg(unusedLoopbackPort());
        Engine engine(view, codePage);
        Resident resident(engine, settingsOnEnd, timerOnStart);
        QStringList steps;
        connect(&resident, &Resident::settingsLoaded, this, [&] { steps << QStringLiteral("settingsLoaded"); });
        connect(&resident, &Resident::commitRequested, this, [&] {
            steps << QStringLiteral("commitRequested");
            engine.settings.global.FTPUSERID = QStringLiteral("committed"); // what the window's page held
        });
        connect(&resident, &Resident::exitRunDone, this, [&] {
            steps << QStringLiteral("exitRunDone");
            QCOMPARE(engine.Timer1.interval(), 0);
        });
        connect(&resident, &Resident::ended, this, [&] { steps << QStringLiteral("ended"); });
        bool savedDuringExitRun = false;
        connect(&engine, &Engine::eventRecorded, this, [&](const QString& event, const QString&) {
            steps << event;
            if (event == QStringLiteral("IPアドレス確認(終了時)"))
                savedDuringExitRun = fileBytes(QString::fromLatin1(SettingsFileName)).contains("committed");
        });

        resident.start();
        QCOMPARE(engine.Timer1.interval(), interval);
        QCOMPARE(engine.IpCheckState, qint16(0));
        QVERIFY(engine.FirstRunPending);
        QCOMPARE(steps, (QStringList{QStringLiteral("settingsLoaded"), QStringLiteral("START")}));

        resident.end();
        resident.end(); // a second request changes nothing
        QVERIFY(resident.hasEnded());
        const QStringList expected{QStringLiteral("settingsLoaded"),
                                   QStringLiteral("START"),
                                   QStringLiteral("commitRequested"),
                                   QStringLiteral("IPアドレス確認(終了時)"),
                                   QStringLiteral("失敗理由"), // no echo page answers here
                                   QStringLiteral("exitRunDone"),
                                   QStringLiteral("END"),
                                   QStringLiteral("ended")};
        QCOMPARE(steps, expected);
        QCOMPARE(savedDuringExitRun, savedBeforeExitRun);
        if (settingsOnEnd == Resident::SettingsOnEnd::Keep)
            QCOMPARE(fileBytes(QString::fromLatin1(SettingsFileName)), fileBefore);
        QCOMPARE(logEvents(), (QStringList{QStringLiteral("START"), QStringLiteral("IPアドレス確認(終了時)"),
                                           QStringLiteral("失敗理由"), QStringLiteral("END")}));
        // Nothing starts after the end.
        engine.EXEC_EVENT();
        QCOMPARE(logEvents().size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestResident)
#include "test_resident.moc"
