#include "run/engine.h"

#include <QScopedValueRollback>

void Engine::Command1_Click()
{
    if (m_busy || !m_acceptsWork)
        return; // refused, like a tick that reaches the period during a run
    Timer1.setInterval(6000);
    TickCount = 0;
    const QScopedValueRollback userStarted(m_userStarted, true);
    EXEC_EVENT();
}

void Engine::FTPcommand_Click()
{
    if (SelectedTab < 2)
        return;
    WorkGuard work(*this);
    if (!work.started())
        return; // never interleaves with a run's lookup and uploads
    const QScopedValueRollback userStarted(m_userStarted, true);

    const qint16 No = SelectedTab - 2;
    const QString n = QString::number(No + 1);
    m_view.Set_Memory(No);
    if (heldBackForIpv6(No, QStringLiteral("(今すぐ転送)"))) {
        if (SelectedTab - 2 == No)
            m_view.Put_Memory(No);
        return;
    }
    const qint16 substituted = CHIKAN(No);
    Toolkit::yieldTimes(5001);
    if (substituted < 0) {
        Save_Log(QStringLiteral("置換失敗(今すぐ転送)"), n);
        return;
    }
    // A close during the yields: the upload is not begun, since the close could no longer cancel it.
    if (m_stopRequested)
        return;
    const qint16 stage = FTPputFILE(No);
    Save_Log(QStringLiteral("ファイル転送(今すぐ転送)"), n);
    // The user may have moved to another tab during the upload: showing slot No there would let the next
    // tab switch commit slot No's values into the slot on show. The new result shows when the user comes
    // back to slot No's tab.
    // What the user typed on the page during the upload is taken in first, so that showing the slot again
    // (for its new result) does not throw it away.
    if (SelectedTab - 2 == No) {
        m_view.Set_Memory(No);
        m_view.Put_Memory(No);
    }
    if (stage <= 2) {
        Save_Log(QStringLiteral("FTP転送失敗(今すぐ転送)"), n);
        logFailureReason(No);
    }
}

void Engine::GetGlobalIP_Click()
{
    WorkGuard work(*this);
    if (!work.started())
        return;
    const QScopedValueRollback userStarted(m_userStarted, true);
    lookUpAddress();
}

bool Engine::offerTrust(const ServerIdentity& identity, const QString& subject)
{
    if (!m_userStarted || m_stopRequested || !identity.worthShowing())
        return false;
    if (!m_view.askTrust(identity) || !identity.mayBeTrusted())
        return false;
    const QString server = identity.scheme + QStringLiteral("://") + identity.hostAndPort();
    QString why;
    if (!ServerTrust::record(identity, &why)) {
        Save_Log(QStringLiteral("信頼の登録失敗"), subject + QLatin1Char(' ') + why);
        return false;
    }
    Save_Log(QStringLiteral("信頼の登録"), subject + QLatin1Char(' ') + server + QLatin1Char(' ') + identity.fingerprint());
    // A close asked for while the question stood: the work is not begun again.
    return !m_stopRequested;
}
