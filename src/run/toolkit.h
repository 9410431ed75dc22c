#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// The window toolkit's services that the engine relies on. Qt Core only: the engine and its tests use
// them without a display.
namespace Toolkit {

// One pass of the event loop, callable from inside any handler (also one already inside a yield).
void yieldOnce();

// The program's counted waits ("a counted loop from 0 to 5000" is yieldTimes(5001)).
void yieldTimes(int count);

// Waits on the event loop until at least one event has been handled; burns no CPU while nothing happens.
void waitForEvents();

} // namespace Toolkit

// The one clock of the program. Tests set it; everything that turns "now" into text asks it.
namespace Clock {

QDateTime now();
void setNow(const QDateTime& fixed); // a fixed time, until reset()
void setSource(std::function<QDateTime()> source);
void reset();

// "2026/12/06 9:05:07"; the date alone at exactly midnight.
QString dateTimeText(const QDateTime& when);
QString nowText();

} // namespace Clock

// A window timer: an interval in milliseconds, 0 stopping it (a QTimer with interval 0 would fire
// continuously instead).
class IntervalTimer : public QObject
{
    Q_OBJECT
public:
    explicit IntervalTimer(QObject* parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return m_interval; }
    bool isArmed() const { return m_interval > 0; }

signals:
    void tick();

private:
    QTimer m_timer;
    int m_interval = 0;
};
