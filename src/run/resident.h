#pragma once

#include "settings/ini_file.h"

#include <QObject>

class Engine;

// The resident program's start and end, in their one order, for every front end that keeps the program
// running: the window and the headless service. Start: run state and defaults, the settings file, "START",
// the timer. End: the work in progress is asked to stop and waited for, the front end commits what it shows,
// the settings file is written (only where an editor could have changed it), the exit-time run, no more
// work, the timer stopped, the front end's own removal (the icon), "END". The front ends join in through the
// signals below, which are emitted synchronously at their place in the order.
class Resident : public QObject
{
    Q_OBJECT
public:
    enum class SettingsOnEnd { Save, Keep };
    enum class TimerOnStart { AsAutoExecSays, Always };

    Resident(Engine& engine, SettingsOnEnd settingsOnEnd, TimerOnStart timerOnStart, QObject* parent = nullptr);

    // Defaults, settings file, "START", timer. Makes no run.
    void start();
    // What start() read: the file and the lines it could not read.
    const IniLoad& settingsLoad() const { return m_settingsLoad; }

    // Reads the settings file again, as a service does on SIGHUP, once no work is in progress. Only a file
    // read whole replaces the settings in force; the run state (results, what was sent) stays. The outcome
    // goes to settingsReloaded().
    void reloadSettings();

    // Asks the program to end; the end runs as soon as no work is in progress. Later requests change
    // nothing. ended() is emitted when it is over.
    void end();
    bool isEnding() const { return m_ending; }
    bool hasEnded() const { return m_ended; }

signals:
    // After the settings file was read, before "START" (the window adds its icon here).
    void settingsLoaded();
    // First step of the end: the front end takes what it shows into the settings model.
    void commitRequested();
    // After the exit-time run and the timer's stop, before "END" (the window removes its icon here).
    void exitRunDone();
    // The end is over; the front end leaves.
    void ended();
    // After reloadSettings(): applied, or kept as they were because the file could not be read (load says
    // why: no file, or its faulty lines).
    void settingsReloaded(bool applied, const IniLoad& load);

private:
    void finish();

    Engine& m_engine;
    SettingsOnEnd m_settingsOnEnd;
    TimerOnStart m_timerOnStart;
    bool m_ending = false;
    bool m_ended = false;
    IniLoad m_settingsLoad;
};
