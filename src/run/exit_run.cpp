#include "run/engine.h"

void Engine::EXEC_EVENT_Unload()
{
    // Callers wait until no other work is in progress (whenIdle), so this normally starts the work; it runs
    // all the same if it does not, since the exit-time transfers must always happen.
    WorkGuard work(*this);

    lookUpAddress();
    Save_Log(QStringLiteral("IPアドレス確認(終了時)"), m_view.IP_address());
    logAddress6(QStringLiteral("IPv6アドレス確認(終了時)"));
    if (IpCheckState != 1 && !IpCheckReason.isEmpty())
        Save_Log(QStringLiteral("失敗理由"), QStringLiteral("[IPアドレス確認] ") + IpCheckReason);
    if (settings.global.USEIPV6 != Ipv6Off && IpCheckState6 != 1)
        Save_Log(QStringLiteral("失敗理由"), QStringLiteral("[IPv6アドレス確認] ") + IpCheckReason6);

    for (qint16 s = 0; s < SlotCount; ++s) {
        if (settings.slot[s].OKCHECK != 1 || !settings.slot[s].EXEC_TIMING3)
            continue;
        const QString n = QString::number(s + 1);
        if (heldBackForIpv6(s, QStringLiteral("(終了時)")))
            continue;
        Toolkit::yieldTimes(5001);
        if (CHIKAN(s) < 0) {
            Save_Log(QStringLiteral("置換失敗(終了時)"), n);
            continue;
        }
        Toolkit::yieldTimes(5001);
        const qint16 stage = FTPputFILE(s);
        Save_Log(QStringLiteral("ファイル転送(終了時)"), n);
        if (stage <= 2) {
            Save_Log(QStringLiteral("FTP転送失敗(終了時)"), n);
            logFailureReason(s);
        }
    }
}
