#include "platform/background_job.h"

#include "run/toolkit.h"

#include <QCoreApplication>
#include <QMetaObject>

BackgroundJob::~BackgroundJob()
{
    join();
}

void BackgroundJob::start(std::function<void()> work)
{
    join();
    m_running.store(true);
    m_thread = std::thread([this, work = std::move(work)] {
        work();
        m_running.store(false);
        // Wake the window's thread if it sleeps in waitWhileRunning().
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] {}, Qt::QueuedConnection);
    });
}

void BackgroundJob::waitWhileRunning() const
{
    while (m_running.load())
        Toolkit::waitForEvents();
}

void BackgroundJob::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
