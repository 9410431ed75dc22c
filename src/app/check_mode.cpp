#include "app/console_view.h"
#include "app/modes.h"
#include "run/engine.h"
#include "settings/ini_file.h"

#include <QFile>
#include <QStringEncoder>

#include <cstdio>

int runCheck(ConsoleView& view, const CodePage& codePage)
{
    Engine engine(view, codePage);
    view.setSettings(&engine.settings);
    Load_ini(engine.settings, codePage);

    // Check-now: the one-shot mode's state is left alone, so a change seen here is still a change to the
    // next --once (unlike the window's label, which the next run would compare against).
    engine.GetGlobalIP_Click();

    if (engine.IpCheckState != 1) {
        view.printLine(view.IP_address()); // "未取得" or "接続不可"
        view.printLine(QStringLiteral("失敗理由: ") + engine.IpCheckReason);
        return CheckFailedStatus;
    }
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    out.write(QStringEncoder(QStringConverter::System).encode(view.IP_address() + QLatin1Char('\n')));
    return 0;
}
