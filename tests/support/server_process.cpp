#include "server_process.h"
#include "test_timeouts.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <cstdio>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

ServerProcess::~ServerProcess()
{
    stop();
}

QString ServerProcess::python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

QString ServerProcess::scriptPath(const QString& script)
{
    return QStringLiteral(VELTORA_TEST_SERVERS "/") + script;
}

bool ServerProcess::start(const QString& script, const QStringList& arguments)
{
    stop();
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(python(), QStringList{QStringLiteral("-u"), scriptPath(script)} + arguments);
    if (!m_process.waitForStarted(scaledMs(10000))) {
        m_error = m_process.errorString();
        return false;
    }
    QByteArray output;
    QDeadlineTimer deadline(scaledMs(15000));
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            output += line + '\n';
            if (line.startsWith("PORT ")) {
                m_port = quint16(line.mid(5).toUInt());
                return m_port != 0;
            }
        }
    }
    m_error = QString::fromUtf8(output + m_process.readAllStandardError());
    stop();
    return false;
}

void ServerProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(scaledMs(5000));
        printOutputIfFailed();
    }
    m_port = 0;
}

void ServerProcess::printOutputIfFailed()
{
    if (!QTest::currentTestFailed() || m_process.program().isEmpty())
        return;
    // Takes in what is still in the pipes; only a failed test pays for the wait.
    if (m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(100);
    const QByteArray output = m_process.readAllStandardError() + m_process.readAllStandardOutput();
    std::fprintf(stderr, "---- output of test server %s (port %u):\n%s\n----\n",
                 qPrintable(m_process.arguments().value(1)), unsigned(m_port), output.constData());
}

QStringList ServerProcess::receivedCommands()
{
    while (m_process.waitForReadyRead(300)) {
    }
    QStringList commands;
    for (const QByteArray& line : m_process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("CMD "))
            commands << QString::fromUtf8(line.mid(4).trimmed());
    }
    return commands;
}

quint16 unusedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}
