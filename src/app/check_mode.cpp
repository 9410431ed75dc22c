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
    // The IPv4 address on the first line, the IPv6 address on a second one when it is looked up too.
    QString found = view.IP_address() + QLatin1Char('\n');
    const bool ipv6 = engine.settings.global.USEIPV6 != Ipv6Off;
    if (ipv6 && engine.IpCheckState6 == 1)
        found += view.IP_address6() + QLatin1Char('\n');
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    out.write(QStringEncoder(QStringConverter::System).encode(found));
    out.flush();
    if (ipv6 && engine.IpCheckState6 != 1) {
        view.printLine(QStringLiteral("IPv6: ") + view.IP_address6());
        view.printLine(QStringLiteral("失敗理由: ") + engine.IpCheckReason6);
        return CheckFailedStatus;
    }
    return 0;
}
