#include "run/engine.h"

namespace {

QString checkStatus(qint16 state, const QString& what = QStringLiteral("[IPアドレス確認] "))
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
    return what + word + QStringLiteral(" (") + Clock::nowText() + QLatin1Char(')');
}

} // namespace

bool Engine::lookUpAddress()
{
    const QString previousCaption = m_view.IP_address();
    const qint16 previousState = IpCheckState;
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
    if (lookUpAddress6())
        return true;
    // A close cut the IPv6 check short: the check as a whole was not made, and the IPv4 address it found
    // must not become the one the next run compares against (its slots were not sent).
    IpCheckState = previousState;
    m_view.setIP_address(previousCaption);
    return false;
}

bool Engine::lookUpAddress6()
{
    switch (settings.global.USEIPV6) {
    case Ipv6EchoPage:
        GlobalIPv6address();
        return !m_lookupInterrupted;
    case Ipv6Interface:
        LocalIPv6address();
        return true;
    default:
        // Not looked up: the caption stays, so that switching IPv6 off is no change of address in itself.
        IpCheckState6 = 0;
        IpCheckReason6 = QStringLiteral("IPv6アドレスを確認しない設定です");
        return true;
    }
}

void Engine::logAddress6(const QString& event)
{
    if (settings.global.USEIPV6 == Ipv6Off)
        return;
    Save_Log(event, IpCheckState6 == 1 ? m_view.IP_address6() : QStringLiteral("失敗"));
}

void Engine::EXEC_EVENT()
{
    WorkGuard work(*this);
    if (!work.started())
        return; // no nested run: a tick or run-now that arrives during work is refused

    const QString previousAddress = m_view.IP_address();
    const QString previousAddress6 = m_view.IP_address6();
    const QString previousStatus = m_view.FTP_now();
    m_view.setFTP_now(QStringLiteral("IPアドレス確認中"));
    if (!lookUpAddress()) {
        // A close cut the check short: it did not fail, and the run ends without a word of it.
        m_view.setFTP_now(previousStatus);
        return;
    }
    const QString newAddress = m_view.IP_address();
    // A change of either address is a change; while IPv6 is not looked up its caption stays as it was.
    const bool addressChanged = newAddress != previousAddress || m_view.IP_address6() != previousAddress6;

    m_view.Set_Memory(SelectedTab - 2);
    // The IPv6 status first: the status line ends on the IPv4 check's, which decides whether the run goes on.
    if (settings.global.USEIPV6 != Ipv6Off) {
        m_view.setFTP_now(checkStatus(IpCheckState6, QStringLiteral("[IPv6アドレス確認] ")));
        m_view.setFTP_nowToolTip(IpCheckReason6);
    }
    m_view.setFTP_now(checkStatus(IpCheckState));
    m_view.setFTP_nowToolTip(IpCheckReason);
    Save_Log(QStringLiteral("IPアドレス確認"), IpCheckState == 1 ? newAddress : QStringLiteral("失敗"));
    logAddress6(QStringLiteral("IPv6アドレス確認"));
    if (IpCheckState != 1)
        Save_Log(QStringLiteral("失敗理由"), QStringLiteral("[IPアドレス確認] ") + IpCheckReason);
    if (settings.global.USEIPV6 != Ipv6Off && IpCheckState6 != 1)
        Save_Log(QStringLiteral("失敗理由"), QStringLiteral("[IPv6アドレス確認] ") + IpCheckReason6);
    if (IpCheckState != 1)
        return;
    // A stop ends the run. After a change, the on-change slots it did not reach stay due: their flags tell of
    // the old address (the one-shot mode carries them to its next run).
    const auto stopsHere = [this, addressChanged](qint16 from) {
        if (!m_stopRequested)
            return false;
        for (qint16 r = from; addressChanged && r < SlotCount; ++r) {
            if (settings.slot[r].EXEC_TIMING2)
                settings.slot[r].ChangeSent = false;
        }
        return true;
    };

    Toolkit::yieldTimes(5001);

    for (qint16 s = 0; s < SlotCount; ++s) {
        if (stopsHere(s))
            return;
        const QString n = QString::number(s + 1);
        if (settings.slot[s].OKCHECK != 1)
            continue;

        if (settings.slot[s].EXEC_TIMING1 && !heldBackForIpv6(s, QStringLiteral("(IPアドレス確認時)"))) {
            const qint16 substituted = CHIKAN(s);
            Toolkit::yieldOnce();
            if (substituted < 0) {
                Save_Log(QStringLiteral("置換失敗(IPアドレス確認時)"), n);
            } else {
                // A close that came during the yield: an upload started now could not be cancelled by it.
                if (stopsHere(s))
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
        if (settings.slot[s].EXEC_TIMING2 && (addressChanged || !sent)) {
            if (stopsHere(s))
                return;
            // Not sent, so still due: it goes once the IPv6 address is found.
            if (heldBackForIpv6(s, QStringLiteral("(IPアドレス変更時)"))) {
                settings.slot[s].ChangeSent = false;
                continue;
            }
            const qint16 substituted = CHIKAN(s);
            Toolkit::yieldOnce();
            if (substituted < 0) {
                Save_Log(QStringLiteral("置換失敗(IPアドレス変更時)"), n);
            } else {
                if (stopsHere(s))
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
