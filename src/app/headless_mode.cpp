#include "app/console_view.h"
#include "app/modes.h"
#include "platform/termination_signals.h"
#include "run/engine.h"
#include "run/resident.h"

#include <QCoreApplication>

#include <csignal>

int runHeadless(ConsoleView& view, const CodePage& codePage)
{
    Engine engine(view, codePage);
    view.setSettings(&engine.settings);
    // No editor can change the settings here, so the file is never rewritten; the timer runs whatever
    // AUTOEXEC says, since periodic runs are what this mode is for.
    Resident resident(engine, Resident::SettingsOnEnd::Keep, Resident::TimerOnStart::Always);
    TerminationSignals termination;
    if (!termination.isInstalled())
        view.printLine(QStringLiteral("veltora: 終了シグナルを受け取れません。終了時の転送は行われません"));
    // A hang-up is a service's request to read its settings again (systemctl reload); the others end it.
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &resident, [&resident](int signal) {
        if (signal == SIGHUP)
            resident.reloadSettings();
        else
            resident.end();
    });
    QObject::connect(&resident, &Resident::settingsReloaded, [&](bool applied, const IniLoad& load) {
        if (applied) {
            view.printLine(QStringLiteral("veltora: 設定ファイル ") + load.fileName + QStringLiteral(" を読み直しました"),
                       ConsoleView::Priority::Info);
            engine.Save_Log(QStringLiteral("設定再読込"), load.fileName);
            return;
        }
        for (const IniFault& fault : load.faults)
            view.printLine(QStringLiteral("veltora: ") + describeIniFault(load.fileName, fault));
        view.printLine(QStringLiteral("veltora: 設定ファイルを読めないため、これまでの設定で続けます"));
        engine.Save_Log(QStringLiteral("設定再読込"), QStringLiteral("失敗"));
    });
    QObject::connect(&resident, &Resident::ended, [] { QCoreApplication::exit(0); });

    resident.start();
    view.printLine(QStringLiteral("veltora: 常駐を開始しました (") + view.TIMERset() + QStringLiteral("分ごとに実行)"),
                   ConsoleView::Priority::Info);
    return QCoreApplication::exec();
}
