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
    global.USEIPV6 = Ipv6Off;
    global.GLOBALURL6 = QString::fromLatin1(DefaultGlobalUrl6);

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
        entry.HOSTNAME6 = QStringLiteral("HOSTNAME6");
        entry.HOSTNAME6EXEC = 0;
        entry.ResultText = QStringLiteral("未実行");
        entry.ChangeSent = false;
    }
}

bool SettingsModel::usesIpv6Records() const
{
    SettingsModel defaults;
    defaults.applyDefaults();
    if (global.USEIPV6 != defaults.global.USEIPV6 || global.GLOBALURL6 != defaults.global.GLOBALURL6)
        return true;
    for (int s = 0; s < SlotCount; ++s) {
        if (slot[s].HOSTNAME6 != defaults.slot[s].HOSTNAME6 || slot[s].HOSTNAME6EXEC != defaults.slot[s].HOSTNAME6EXEC)
            return true;
    }
    return false;
}

QString destinationOf(const GlobalSettings& global, const TransferSlot& slot)
{
    // Joined with a character no setting can hold from the window, so that two different sets never meet.
    return QStringList{global.FTPSERVERNAME,
                       global.FTPUSERID,
                       slot.FTPDIR,
                       slot.FTPFILENAME,
                       slot.TEMPLATE,
                       slot.HOSTNAME,
                       slot.NOWDTTM,
                       QString::number(slot.HOSTNAMEEXEC),
                       QString::number(slot.NOWDTTMEXEC),
                       slot.HOSTNAME6,
                       QString::number(slot.HOSTNAME6EXEC)}
        .join(QChar(0));
}

QList<int> resetChangedResults(const SettingsModel& before, SettingsModel& after)
{
    QList<int> changed;
    for (int s = 0; s < SlotCount; ++s) {
        if (destinationOf(before.global, before.slot[s]) == destinationOf(after.global, after.slot[s]))
            continue;
        after.slot[s].ResultText = QStringLiteral("未実行");
        changed << s;
    }
    return changed;
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
