#include "run/engine.h"

#include <utility>

Engine::Engine(FormView& view, const CodePage& codePage, QObject* parent)
    : QObject(parent), m_view(view), m_codePage(codePage)
{
    settings.applyDefaults();
    Inet2.setRemoteCodec(codePage.name());
    connect(&Timer1, &IntervalTimer::tick, this, &Engine::Timer1_Timer);
}

Engine::~Engine() = default;

QString Engine::slotTag(qint16 No)
{
    return QStringLiteral("[設定") + QString::number(No + 1) + QLatin1Char(']');
}

void Engine::reportSlotState(qint16 No, const QString& state, const QString& toolTip)
{
    TransferSlot& slot = settings.slot[No];
    slot.ResultText =
        slotTag(No) + QLatin1Char(' ') + state + QStringLiteral(" (") + Clock::nowText() + QLatin1Char(')');
    slot.ResultToolTip = toolTip;
    m_view.setFTP_now(slot.ResultText);
    m_view.setFTP_nowToolTip(toolTip);
    if (SelectedTab - 2 == No)
        m_view.setFTP_KekkaToolTip(toolTip);
    noteSlotHealth(No, state, toolTip);
}

void Engine::noteSlotHealth(qint16 No, const QString& state, const QString& toolTip)
{
    const bool done = state == QStringLiteral("実行完了");
    const bool failed = state.endsWith(QStringLiteral("失敗"));
    if (!done && !failed)
        return; // a step on the way
    const SlotHealth before = std::exchange(m_slotHealth[No], done ? SlotHealth::Working : SlotHealth::Failing);
    if (!m_acceptsWork || m_slotHealth[No] == before || (done && before == SlotHealth::Unknown))
        return;
    if (failed)
        emit stateChanged(slotTag(No) + QLatin1Char(' ') + state, toolTip, true);
    else
        emit stateChanged(slotTag(No) + QStringLiteral(" 転送できるようになりました"), toolTip, false);
}

void Engine::logFailureReason(qint16 No)
{
    Save_Log(QStringLiteral("失敗理由"), slotTag(No) + QLatin1Char(' ') + settings.slot[No].ResultToolTip);
}

void Engine::showAddress(const QString& caption, const QString& toolTip)
{
    m_view.setIP_address(caption);
    m_view.setIP_addressToolTip(toolTip);
    if (IpCheckState == 1)
        noteAddress(m_knownAddress, caption, QStringLiteral("IPアドレスが変わりました"));
}

void Engine::noteAddress(QString& known, const QString& address, const QString& title)
{
    // The first address after the start is no change to tell of.
    const QString before = std::exchange(known, address);
    if (!before.isEmpty() && before != address && m_acceptsWork)
        emit stateChanged(title, before + QStringLiteral(" → ") + address, false);
}

void Engine::showAddress6(const QString& caption, const QString& toolTip)
{
    m_view.setIP_address6(caption);
    m_view.setIP_address6ToolTip(toolTip);
    if (IpCheckState6 == 1)
        noteAddress(m_knownAddress6, caption, QStringLiteral("IPv6アドレスが変わりました"));
}

bool Engine::heldBackForIpv6(qint16 No, const QString& when)
{
    const TransferSlot& slot = settings.slot[No];
    if (slot.HOSTNAME6EXEC != 1 || slot.HOSTNAME6.isEmpty() || IpCheckState6 == 1)
        return false;
    const QString why =
        settings.global.USEIPV6 == Ipv6Off ? QStringLiteral("IPv6アドレスを確認しない設定です") : IpCheckReason6;
    reportSlotState(No, QStringLiteral("IPv6アドレス未取得のため転送せず"), why);
    Save_Log(QStringLiteral("IPv6アドレス未取得のため転送せず") + when, QString::number(No + 1));
    return true;
}

void Engine::requestStop()
{
    if (!m_busy)
        return;
    m_stopRequested = true;
    Inet1.Cancel();
    // A page being stored is let finish (its waits are bounded): cut off, it would stay cut on the server.
    if (!Inet2.isStoring())
        Inet2.Cancel();
}

void Engine::whenIdle(std::function<void()> action)
{
    if (!m_busy) {
        action();
        return;
    }
    m_whenIdle.append(std::move(action));
}

Engine::WorkGuard::WorkGuard(Engine& engine) : m_engine(engine), m_started(!engine.m_busy && engine.m_acceptsWork)
{
    if (!m_started)
        return;
    m_engine.m_busy = true;
    m_engine.m_stopRequested = false;
}

Engine::WorkGuard::~WorkGuard()
{
    if (!m_started)
        return;
    m_engine.m_busy = false;
    m_engine.m_stopRequested = false;
    // A close that arrived during the work goes on now, with nothing of the work left on the stack above it.
    const auto pending = std::exchange(m_engine.m_whenIdle, {});
    for (const auto& action : pending)
        action();
}
