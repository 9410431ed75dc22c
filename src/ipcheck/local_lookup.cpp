#include "run/engine.h"

void Engine::LocalIPaddress()
{
    IpCheckState = 0;
    m_view.setIP_address(QStringLiteral("IPアドレス確認中"));

    const QString address = Winsock1.LocalIP();
    IpCheckState = address.isEmpty() ? 0 : 1;

    if (IpCheckState == 1) {
        IpCheckReason.clear();
        showAddress(address, Clock::nowText() + QStringLiteral(" にこのコンピューターのアドレスを確認しました"));
        m_view.setCHIKANto0(address);
    } else {
        IpCheckReason = QStringLiteral("このコンピューターにグローバルアドレスがありません");
        showAddress(QStringLiteral("未取得"), IpCheckReason);
        m_view.setCHIKANto0(QStringLiteral("HOSTNAME"));
    }
    m_view.setCHIKANto1(Clock::nowText());
}

void Engine::LocalIPv6address()
{
    IpCheckState6 = 0;
    m_view.setIP_address6(QStringLiteral("IPアドレス確認中"));

    const QString address = Winsock1.LocalIPv6();
    IpCheckState6 = address.isEmpty() ? 0 : 1;

    if (IpCheckState6 == 1) {
        IpCheckReason6.clear();
        showAddress6(address, Clock::nowText() + QStringLiteral(" にこのコンピューターのアドレスを確認しました"));
        m_view.setCHIKANto2(address);
    } else {
        IpCheckReason6 = QStringLiteral(
            "このコンピューターにグローバル IPv6 アドレスがありません (一時アドレスと非推奨のアドレスは使いません)");
        showAddress6(QStringLiteral("未取得"), IpCheckReason6);
        m_view.setCHIKANto2(QStringLiteral("HOSTNAME6"));
    }
}
