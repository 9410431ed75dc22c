#include "run/toolkit.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace Toolkit {

void yieldOnce()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void yieldTimes(int count)
{
    for (int i = 0; i < count; ++i)
        yieldOnce();
}

void waitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace Toolkit

namespace Clock {

namespace {
std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> current;
    return current;
}
} // namespace

QDateTime now()
{
    return source() ? source()() : QDateTime::currentDateTime();
}

void setNow(const QDateTime& fixed)
{
    source() = [fixed] { return fixed; };
}

void setSource(std::function<QDateTime()> newSource)
{
    source() = std::move(newSource);
}

void reset()
{
    source() = nullptr;
}

QString dateTimeText(const QDateTime& when)
{
    const QString date = when.date().toString(QStringLiteral("yyyy/MM/dd"));
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + QLatin1Char(' ') + time.toString(QStringLiteral("H:mm:ss"));
}

QString nowText()
{
    return dateTimeText(now());
}

} // namespace Clock

IntervalTimer::IntervalTimer(QObject* parent) : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::tick);
}

void IntervalTimer::setInterval(int milliseconds)
{
    m_interval = milliseconds > 0 ? milliseconds : 0;
    if (m_interval == 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(m_interval);
}
