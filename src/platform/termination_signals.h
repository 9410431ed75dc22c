#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the requests to end that reach a process outside a window's close box (SIGTERM from a service
// manager or `kill`, SIGINT from Ctrl+C in a terminal, SIGHUP when the terminal or the session goes) into a
// Qt signal on the thread that installed the handler, so the window can treat them as the desktop shutting
// down: close without a question, save the settings, make the exit-time run, log "END", then leave the
// event loop with status 0. The process is not killed by these signals while the handler is installed.
//
// The desktop's own session end does not come this way: it is QGuiApplication::commitDataRequest
// (QtGui), which the main window connects to the same shutdown path (close reason 2), calling
// QSessionManager::release() or not cancelling, and never asking the user from inside it.
//
// Only one instance may be installed at a time. On Windows it installs nothing (the session end arrives
// as commitDataRequest there).
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override; // puts the previous dispositions back

    // Whether the handler is in place (false on Windows, or when another instance holds it, or when the
    // self-pipe could not be made).
    bool isInstalled() const { return m_installed; }

signals:
    // Once for every signal received; the second of two quick signals may arrive while the first is
    // being handled, so the receiver ignores requests while it is already closing.
    void terminationRequested(int signalNumber);

private:
    void readPending();

    bool m_installed = false;
    QSocketNotifier* m_notifier = nullptr;
};
