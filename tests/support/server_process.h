#pragma once

#include <QProcess>
#include <QStringList>

// A loopback test server: a script of tests/servers/ run by Debian's own python3 (a python3 found earlier on
// PATH may not see Debian's packages, such as pyftpdlib). The script binds 127.0.0.1 on a free port and
// prints "PORT <n>" on its first line of output; stop() (or the destructor) kills it.
class ServerProcess
{
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();

    // Starts tests/servers/<script> with the arguments; false (with the server's output in error())
    // when it does not report its port within 15 seconds.
    bool start(const QString& script, const QStringList& arguments = {});
    void stop();

    // Prints what the server has written so far when the running test function has failed: its side of the
    // story. stop() does it too; a server kept for several test functions is asked from their cleanup().
    void printOutputIfFailed();

    // The commands the server has named on lines "CMD <command>" of its output since last asked (the FTP and
    // SFTP servers name the STOR, RNFR, RNTO, DELE and the like they receive).
    QStringList receivedCommands();

    quint16 port() const { return m_port; }
    QString error() const { return m_error; }
    QProcess& process() { return m_process; }

    static QString python();
    static QString scriptPath(const QString& script);

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// A port on 127.0.0.1 that nothing listens on (bound once, then released).
quint16 unusedLoopbackPort();
