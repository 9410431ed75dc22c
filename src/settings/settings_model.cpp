#include "settings/settings_model.h"

void SettingsModel::applyDefaults()
{
    global = GlobalSettings{};
    global.GLOBALURL = QString::fromLatin1(DefaultGlobalUrl);
    global.USEROUTE = 0;
    global.FTPSERVERNAME = QStringLiteral("ftp://");
    global.TASKTRAY = 0;
    global.AUTOEXEC = 0;
    global.TIMERSET = QStringLiteral("5");
    global.LOG = 0;

    for (int i = 0; i < SlotTableSize; ++i)
        slot[i] = TransferSlot{};
    for (int i = 0; i <= SlotCount; ++i) {
        TransferSlot& entry = slot[i];
        entry.OKCHECK = 0;
        entry.TEMPLATE = QStringLiteral("TEMPLATE.HTML");
        entry.HOSTNAME = QStringLiteral("HOSTNAME");
        entry.NOWDTTM = QStringLiteral("NOWDTTM");
        entry.HOSTNAMEEXEC = 1;
        entry.NOWDTTMEXEC = 1;
        entry.FTPDIR = QStringLiteral("public_html/");
        entry.FTPFILENAME = QStringLiteral("testpage%1.html").arg(i + 1);
        entry.EXEC_TIMING1 = false;
        entry.EXEC_TIMING2 = true;
        entry.EXEC_TIMING3 = false;
        entry.ResultText = QStringLiteral("未実行");
        entry.ChangeSent = false;
    }
}

const QStringList& timerSetTexts()
{
    static const QStringList texts = {
        QStringLiteral("1"),   QStringLiteral("2"),   QStringLiteral("3"),   QStringLiteral("4"),
        QStringLiteral("5"),   QStringLiteral("10"),  QStringLiteral("15"),  QStringLiteral("20"),
        QStringLiteral("30"),  QStringLiteral("45"),  QStringLiteral("60"),  QStringLiteral("120"),
        QStringLiteral("180"), QStringLiteral("240"), QStringLiteral("300"), QStringLiteral("360"),
        QStringLiteral("420"), QStringLiteral("480"), QStringLiteral("540"), QStringLiteral("600"),
    };
    return texts;
}
