#include "program_process.h"

#include "test_timeouts.h"

#include <algorithm>
#include <csignal>
#include <unistd.h>

ProgramProcess::~ProgramProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QProcessEnvironment ProgramProcess::environment()
{
    return programEnvironment();
}

QProcessEnvironment programEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

QString ProgramProcess::Result::describe(int expectedExit) const
{
    return QStringLiteral("expected exit %1, got %2%3\n--- stdout ---\n%4\n--- stderr ---\n%5")
        .arg(expectedExit)
        .arg(exitCode)
        .arg(finished ? QString() : QStringLiteral(" (did not end in time)"), outText(), errText());
}

bool ProgramProcess::start(const QStringList& arguments, const QString& workingDirectory, const Options& options)
{
    QStringList all = arguments;
    const bool namesFolder =
        std::any_of(arguments.cbegin(), arguments.cend(), [](const QString& a) { return a.startsWith(u"--dir"); });
    if (options.dirFromWorkingDirectory && !namesFolder)
        all = QStringList{QStringLiteral("--dir"), QStringLiteral(".")} + arguments;
    m_process.setWorkingDirectory(workingDirectory);
    m_process.setProcessEnvironment(options.environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(VELTORA_BINARY), all);
    if (!m_process.waitForStarted(scaledMs(10000)))
        return false;
    m_process.write(options.input);
    m_process.closeWriteChannel();
    return true;
}

bool ProgramProcess::start(const QList<QByteArray>& arguments, const QString& workingDirectory)
{
    m_raw = QList<QByteArray>{QByteArrayLiteral(VELTORA_BINARY)} + arguments;
    for (QByteArray& argument : m_raw)
        m_argv.push_back(argument.data());
    m_argv.push_back(nullptr);
    // The child, its output already led to this object, becomes the program with the very bytes given.
    m_process.setChildProcessModifier([this] {
        ::execv(m_argv[0], m_argv.data());
        ::_exit(127);
    });
    return start(QStringList(), workingDirectory);
}

bool ProgramProcess::signal(int signalNumber)
{
    const qint64 pid = m_process.processId();
    return m_process.state() == QProcess::Running && pid > 0 && ::kill(pid_t(pid), signalNumber) == 0;
}

ProgramProcess::Result ProgramProcess::waitForEnd(int timeoutMilliseconds)
{
    Result result;
    // A program that has already ended (waited for by the caller) has finished too.
    result.finished =
        (m_process.state() == QProcess::NotRunning || m_process.waitForFinished(scaledMs(timeoutMilliseconds))) &&
        m_process.exitStatus() == QProcess::NormalExit;
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    result.exitCode = result.finished ? m_process.exitCode() : -1;
    result.out = m_process.readAllStandardOutput();
    result.err = m_process.readAllStandardError();
    return result;
}

ProgramProcess::Result ProgramProcess::run(const QStringList& arguments, const QString& workingDirectory,
                                           int timeoutMilliseconds, const Options& options)
{
    ProgramProcess program;
    if (!program.start(arguments, workingDirectory, options)) {
        Result failed;
        failed.err = program.m_process.errorString().toUtf8();
        return failed;
    }
    return program.waitForEnd(timeoutMilliseconds);
}
