#include "run/engine.h"

namespace {

QString checkStatus(qint16 state)
{
    QString word;
    switch (state) {
    case -1:
        word = QStringLiteral("接続不可");
        break;
    case 1:
        word = QStringLiteral("成功");
        break;
    default:
        word = QStringLiteral("未取得");
        break;
    }
    return QStringLiteral("[IPアドレス確認] ") + word + QStringLiteral(" (") + Clock::nowText() + QLatin1Char(')');
}

} // namespace

bool Engine::lookUpAddress()
{
    // Two separate tests, as the buttons stand: a window could show neither selected.
    if (m_view.UseRoute(0)) {
        GlobalIPaddress();
        if (IpCheckState == -1 && offerTrust(Inet1.refusedIdentity(), QStringLiteral("[IPアドレス確認]")))
            GlobalIPaddress();
        if (m_lookupInterrupted)
            return false;
    }
    if (m_view.UseRoute(1))
        LocalIPaddress();
    return true;
}

void Engine::EXEC_EVENT()
{
    WorkGuard work(*this);
    if (!work.started())
        return; // no nested run: a tick or run-now that arrives during work is refused

    const QString previousAddress = m_view.IP_address();
    const QString previousStatus = m_view.FTP_now();
    m_view.setFTP_now(QStringLiteral("IPアドレス確認中"));
    if (!lookUpAddress()) {
        // A close cut the check short: it did not fail, and the run ends without a word of it.
        m_view.setFTP_now(previousStatus);
        return;
    }
    const QString newAddress = m_view.IP_address();

    m_view.Set_Memory(SelectedTab - 2);
    m_view.setFTP_now(checkStatus(IpCheckState));
    m_view.setFTP_nowToolTip(IpCheckReason);
    if (IpCheckState != 1) {
        Save_Log(QStringLiteral("IPアドレス確認"), QStringLiteral("失敗"));
        Save_Log(QStringLiteral("失敗理由"), QStringLiteral("[IPアドレス確認] ") + IpCheckReason);
        return;
    }
    Save_Log(QStringLiteral("IPアドレス確認"), newAddress);

    Toolkit::yieldTimes(5001);

    for (qint16 s = 0; s < SlotCount; ++s) {
        if (m_stopRequested)
            return;
        const QString n = QString::number(s + 1);
        if (settings.slot[s].OKCHECK != 1)
            continue;

        if (settings.slot[s].EXEC_TIMING1) {
            const qint16 substituted = CHIKAN(s);
            Toolkit::yieldOnce();
            if (substituted < 0) {
                Save_Log(QStringLiteral("置換失敗(IPアドレス確認時)"), n);
            } else {
                // A close that came during the yield: an upload started now could not be cancelled by it.
                if (m_stopRequested)
                    return;
                const qint16 stage = FTPputFILE(s);
                Save_Log(QStringLiteral("ファイル転送(IPアドレス確認時)"), n);
                if (stage <= 2) {
                    Save_Log(QStringLiteral("FTP転送失敗(IPアドレス確認時)"), n);
                    logFailureReason(s);
                }
            }
        }

        // The slot is read again: the editor may have committed it during the yields above. A page last sent
        // to another place (or made from another template) counts as not sent: the user who fixes a file name
        // after a first upload expects the page under the new name, though the address stayed the same.
        const QString destination = destinationOf(settings.global, settings.slot[s]);
        const bool sent = settings.slot[s].ChangeSent && settings.slot[s].SentDestination == destination;
        if (settings.slot[s].EXEC_TIMING2 && (newAddress != previousAddress || !sent)) {
            if (m_stopRequested)
                return;
            const qint16 substituted = CHIKAN(s);
            Toolkit::yieldOnce();
            if (substituted < 0) {
                Save_Log(QStringLiteral("置換失敗(IPアドレス変更時)"), n);
            } else {
                if (m_stopRequested)
                    return;
                const qint16 stage = FTPputFILE(s);
                Toolkit::yieldOnce();
                Save_Log(QStringLiteral("ファイル転送(IPアドレス変更時)"), n);
                if (stage > 2) {
                    settings.slot[s].ChangeSent = true;
                    settings.slot[s].SentDestination = destination;
                } else {
                    Save_Log(QStringLiteral("FTP転送失敗(IPアドレス変更時)"), n);
                    logFailureReason(s);
                    settings.slot[s].ChangeSent = false;
                }
            }
        }
    }
}
