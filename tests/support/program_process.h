#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

// The built program (build/veltora) run as a user or a service manager runs it, with no display: DISPLAY,
// WAYLAND_DISPLAY and QT_QPA_PLATFORM are taken out of its environment, so a mode that needed a GUI
// platform would fail to start. On a mismatch, describe() gives the exit status and both output streams.
// The environment the program runs in: the test's own without a display.
QProcessEnvironment programEnvironment();

// How a case starts the program beyond its arguments. Without --dir the program works in its per-user folder;
// unless a case says otherwise, the working directory is named to it with --dir.
struct ProgramOptions
{
    QProcessEnvironment environment = programEnvironment();
    QByteArray input; // standard input, closed after it
    bool dirFromWorkingDirectory = true;
};

class ProgramProcess
{
public:
    struct Result
    {
        bool finished = false;
        int exitCode = -1;
        QByteArray out;
        QByteArray err;

        QString outText() const { return QString::fromUtf8(out); }
        QString errText() const { return QString::fromUtf8(err); }
        // "expected exit N, got M" with stdout and stderr, for QVERIFY2.
        QString describe(int expectedExit) const;
    };

    using Options = ProgramOptions;

    ProgramProcess() = default;
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;
    ~ProgramProcess(); // kills a program still running

    // Runs to the end (or timeoutMilliseconds, times the tests' time-out factor, then kills it) in
    // workingDirectory.
    static Result run(const QStringList& arguments, const QString& workingDirectory, int timeoutMilliseconds = 120000,
                      const Options& options = Options());

    // Starts it and leaves it running.
    bool start(const QStringList& arguments, const QString& workingDirectory, const Options& options = Options());
    // Starts it with arguments as bytes that may be no text (QProcess passes text only), in this environment.
    bool start(const QList<QByteArray>& arguments, const QString& workingDirectory);
    QProcess& process() { return m_process; }
    // Sends a signal to the program while it runs; false once it has ended (a pid of 0 would signal the whole
    // process group, the test included).
    bool signal(int signalNumber);
    Result waitForEnd(int timeoutMilliseconds = 120000); // times the tests' time-out factor

    static QProcessEnvironment environment();

private:
    QProcess m_process;
    QList<QByteArray> m_raw; // the program's argv as exec takes it
    std::vector<char*> m_argv;
};

// Compares a Result's exit status, printing both output streams when it differs.
#define VELTORA_COMPARE_EXIT(result, expected)                                                                         \
    do {                                                                                                               \
        const ProgramProcess::Result veltoraResult_ = (result);                                                        \
        QVERIFY2(veltoraResult_.finished&& veltoraResult_.exitCode == (expected),                                      \
                 qPrintable(veltoraResult_.describe(expected)));                                                       \
    } while (false)
