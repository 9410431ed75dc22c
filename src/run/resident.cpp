#include "run/resident.h"

#include "run/engine.h"
#include "settings/ini_file.h"

namespace {

constexpr int TickMilliseconds = 6000;

} // namespace

Resident::Resident(Engine& engine, SettingsOnEnd settingsOnEnd, TimerOnStart timerOnStart, QObject* parent)
    : QObject(parent), m_engine(engine), m_settingsOnEnd(settingsOnEnd), m_timerOnStart(timerOnStart)
{
}

void Resident::start()
{
    m_engine.IpCheckState = 0;
    m_engine.FirstRunPending = true;
    m_engine.settings.applyDefaults();
    m_settingsLoad = Load_ini(m_engine.settings, m_engine.codePage());
    emit settingsLoaded();
    m_engine.Save_Log(QStringLiteral("START"), QString());
    if (m_timerOnStart == TimerOnStart::Always) {
        // Ticks count only while AUTOEXEC is 1. The model is never written back by such a front end, so
        // the file keeps what the user chose.
        m_engine.settings.global.AUTOEXEC = 1;
    }
    m_engine.Timer1.setInterval(m_engine.settings.global.AUTOEXEC == 1 ? TickMilliseconds : 0);
}

void Resident::reloadSettings()
{
    m_engine.whenIdle([this] {
        if (m_ending)
            return;
        SettingsModel fresh;
        fresh.applyDefaults();
        const IniLoad load = Load_ini(fresh, m_engine.codePage());
        const bool applied = !load.fileName.isEmpty() && load.faults.isEmpty();
        if (applied) {
            SettingsModel& current = m_engine.settings;
            for (int s = 0; s < SlotTableSize; ++s) {
                // Run state is no setting: the last result and what went up stay with the slot.
                fresh.slot[s].ResultText = current.slot[s].ResultText;
                fresh.slot[s].ChangeSent = current.slot[s].ChangeSent;
                fresh.slot[s].SentDestination = current.slot[s].SentDestination;
            }
            if (m_timerOnStart == TimerOnStart::Always)
                fresh.global.AUTOEXEC = 1;
            current = fresh;
            // An armed timer is left alone, so the count towards the next run goes on.
            const int interval = current.global.AUTOEXEC == 1 ? TickMilliseconds : 0;
            if (m_engine.Timer1.interval() != interval)
                m_engine.Timer1.setInterval(interval);
        }
        emit settingsReloaded(applied, load);
    });
}

void Resident::end()
{
    if (m_ending)
        return;
    m_ending = true;
    // A request can arrive while a run waits inside a yield. The run is asked to end at its next step and
    // the end follows once it has, so the exit-time run never interleaves with it.
    m_engine.requestStop();
    m_engine.whenIdle([this] { finish(); });
}

void Resident::finish()
{
    emit commitRequested();
    // Before the exit-time run: that run can take minutes against a slow server, and a second end (the
    // desktop's, or a kill after a service manager's time-out) must not lose what the user set.
    if (m_settingsOnEnd == SettingsOnEnd::Save)
        Save_ini(m_engine.settings, m_engine.codePage());
    m_engine.EXEC_EVENT_Unload();
    m_engine.stopAcceptingWork(); // a tick during the yields still to come starts nothing
    m_engine.Timer1.setInterval(0);
    emit exitRunDone();
    m_engine.Save_Log(QStringLiteral("END"), QString());
    m_ended = true;
    emit ended();
}
