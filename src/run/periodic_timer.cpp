#include "run/engine.h"

namespace {

constexpr int TicksPerMinute = 10; // one tick every 6 seconds

// The period in minutes from the text TIMERset shows. The list offers only positive periods; a text that
// is none (an empty list, say) counts as the default 5 rather than as 0, which would run at every tick.
int periodMinutes(const QString& text)
{
    bool ok = false;
    const int minutes = text.trimmed().toInt(&ok);
    return ok && minutes > 0 ? minutes : 5;
}

} // namespace

void Engine::Timer1_Timer()
{
    if (settings.global.AUTOEXEC != 1)
        return;
    if (m_busy) {
        // Ticks during a run are not counted and start nothing; the period is measured from the start of
        // a run anyway, since the tick that started it reset the count.
        Auto_Re_Draw();
        return;
    }
    ++TickCount;
    if (FirstRunPending && TickCount >= 5) {
        FirstRunPending = false;
        TickCount = 0;
        EXEC_EVENT();
    }
    if (periodMinutes(m_view.TIMERset()) * TicksPerMinute <= TickCount) {
        TickCount = 0;
        EXEC_EVENT();
    }
    Auto_Re_Draw();
}

void Engine::Auto_Re_Draw()
{
    if (SelectedTab < 2)
        return;
    m_view.setFTP_Kekka(settings.slot[SelectedTab - 2].ResultText);
    m_view.setFTP_KekkaToolTip(settings.slot[SelectedTab - 2].ResultToolTip);
}
