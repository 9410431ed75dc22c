#include "platform/termination_signals.h"

#include <QByteArray>
#include <QPointer>
#include <QSocketNotifier>

#include <iterator>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifndef Q_OS_WIN
constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The self-pipe: the handler may only write(), so it writes the signal's number and the notifier reads it
// on the window's thread.
int s_pipe[2] = {-1, -1};
struct sigaction s_previous[std::size(HandledSignals)];
bool s_taken = false;

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // A full pipe means many signals are already waiting; losing this one changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &number, 1);
    errno = savedErrno;
}
#endif

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
#ifndef Q_OS_WIN
    if (s_taken)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, s_pipe) != 0)
        return;
    s_taken = true;
    m_installed = true;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(HandledSignals); ++i)
        ::sigaction(HandledSignals[i], &action, &s_previous[i]);
#endif
}

TerminationSignals::~TerminationSignals()
{
#ifndef Q_OS_WIN
    if (!m_installed)
        return;
    for (size_t i = 0; i < std::size(HandledSignals); ++i)
        ::sigaction(HandledSignals[i], &s_previous[i], nullptr);
    delete m_notifier;
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
    s_taken = false;
#endif
}

void TerminationSignals::readPending()
{
#ifndef Q_OS_WIN
    QByteArray received;
    char buffer[64];
    for (;;) {
        const ssize_t count = ::read(s_pipe[0], buffer, sizeof buffer);
        if (count > 0) {
            received.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        break;
    }
    // A receiver may end the program, and this object with it, from inside the first emission.
    const QPointer<TerminationSignals> self(this);
    for (const char number : std::as_const(received)) {
        if (!self)
            return;
        emit terminationRequested(static_cast<unsigned char>(number));
    }
#endif
}
