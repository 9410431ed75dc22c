#include "app/console_view.h"
#include "app/modes.h"
#include "app/once_state.h"
#include "platform/termination_signals.h"
#include "run/engine.h"
#include "settings/ini_file.h"

#include <QFile>

int runOnce(ConsoleView& view, const CodePage& codePage)
{
    Engine engine(view, codePage);
    view.setSettings(&engine.settings);
    Load_ini(engine.settings, codePage);

    // The failure lines are recorded whether or not LOG writes them.
    bool failed = false;
    QObject::connect(&engine, &Engine::eventRecorded, [&failed](const QString& event, const QString&) {
        // A page held back for want of its IPv6 address was not published either.
        if (event.startsWith(QStringLiteral("置換失敗")) || event.startsWith(QStringLiteral("FTP転送失敗")) ||
            event.startsWith(QStringLiteral("IPv6アドレス未取得")))
            failed = true;
    });

    const OnceState before = loadState().value_or(OnceState{});
    view.setIP_address(before.lastAddress);
    view.setIP_address6(before.lastAddress6);
    // The state file keeps no destination: a slot sent by the last run counts as sent where it now points.
    // A change made with --set clears the slot's flag there instead.
    for (int s = 0; s < SlotCount; ++s) {
        TransferSlot& slot = engine.settings.slot[s];
        slot.ChangeSent = before.changeSent[s];
        slot.SentDestination = destinationOf(engine.settings.global, slot);
    }

    // A service manager's stop (or Ctrl+C) ends the run at its next step instead of killing it: a page being
    // stored is let finish, so none is left cut on the server, and the state of what was done is kept.
    bool stopped = false;
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &engine, [&] {
        stopped = true;
        engine.requestStop();
    });

    engine.EXEC_EVENT();

    // Saved also after a failed check: the failure word is the next run's previous address, so the next
    // address found counts as a change, as it does in the resident program.
    OnceState after;
    after.lastAddress = view.IP_address();
    after.lastAddress6 = view.IP_address6();
    for (int s = 0; s < SlotCount; ++s)
        after.changeSent[s] = engine.settings.slot[s].ChangeSent;
    if (after != before && !saveState(after))
        view.printLine(QStringLiteral("veltora: 状態ファイル ") + QString::fromLatin1(FileNames::State) +
                       QStringLiteral(" を書けません。次回は変更時の転送をもう一度行います"));

    // A stop during the address check too is a stopped run, not a failed check: the check was cut short.
    if (stopped) {
        view.printLine(QStringLiteral("veltora: 終了の要求により、残りの転送を行わずに終了しました"));
        return TransferFailedStatus;
    }
    if (engine.IpCheckState != 1)
        return CheckFailedStatus;
    return failed ? TransferFailedStatus : 0;
}
