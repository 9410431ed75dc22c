#include "app/console_view.h"
#include "app/modes.h"
#include "platform/termination_signals.h"
#include "run/engine.h"
#include "run/resident.h"

#include <QCoreApplication>

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
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &resident, &Resident::end);
    QObject::connect(&resident, &Resident::ended, [] { QCoreApplication::exit(0); });

    resident.start();
    view.printLine(QStringLiteral("veltora: 常駐を開始しました (") + view.TIMERset() + QStringLiteral("分ごとに実行)"));
    return QCoreApplication::exec();
}
