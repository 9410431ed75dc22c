#pragma once

#include <atomic>
#include <functional>
#include <thread>

// Runs one blocking call (a libcurl transfer) on a worker thread. The window's thread waits for it on the
// event loop, woken by the completion the worker posts back, so the wait costs no CPU and the window stays
// responsive. One job at a time per object.
class BackgroundJob
{
public:
    BackgroundJob() = default;
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;
    ~BackgroundJob();

    // Starts work on a fresh worker thread; the previous job must have finished.
    void start(std::function<void()> work);
    bool isRunning() const { return m_running.load(); }

    // Handles events (timer ticks, clicks, re-entrant handlers) until the job has finished.
    void waitWhileRunning() const;

private:
    void join();

    std::thread m_thread;
    std::atomic<bool> m_running{false};
};
