#pragma once

#include "platform/background_job.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <set>

// The FTP side of our internet transfer stand-in, on libcurl. Text commands ("CD dir", "PUT local remote",
// "QUIT") start on a worker thread and the call returns at once; StillExecuting() tells when a command has
// ended and then reports its failure, once. The commands of one session share one control connection (one
// easy handle), so "CD" followed by "PUT" stores into that directory and "QUIT" logs out.
//
// Every call returns 0 or a failure number: StillExecutingError when a command is still running, the
// others below. Every command has bounded waits, so a dead, silent or stalled server ends in a failure.
class FtpTransfer
{
public:
    static constexpr int StillExecutingError = 35764;
    static constexpr int InvalidUrlError = 35750;     // URL without host or with a scheme libcurl lacks
    static constexpr int InvalidCommandError = 35751; // not "CD", "PUT" or "QUIT", or a malformed one
    static constexpr int CancelledError = 35752;
    static constexpr int LocalFileError = 35753; // the local file of "PUT" cannot be read
    static constexpr int CurlErrorBase = 36000;  // + the CURLcode of a failed command

    struct Timeouts
    {
        int connectMs = 30000;
        int responseSeconds = 60; // silence of the server on the control connection
        int lowSpeedBytes = 1;    // a transfer slower than this per second ...
        int lowSpeedSeconds = 60; // ... for this long is given up
    };

    FtpTransfer();
    FtpTransfer(const FtpTransfer&) = delete;
    FtpTransfer& operator=(const FtpTransfer&) = delete;
    ~FtpTransfer();

    int setURL(const QString& url);
    int setUserName(const QString& userName);
    int setPassword(const QString& password);
    QString URL() const { return m_url; }

    // Starts a command. Remote names are sent in the code page given to setRemoteCodec().
    int Execute(const QString& command);

    // `executing` is true while a command runs; once it has ended, a failed command's number is returned
    // (once) with `executing` false.
    int StillExecuting(bool& executing);

    // Ends the running command within a second and drops the connection without waiting for the server.
    int Cancel();
    // Whether the command running (or last run) is a "PUT": cancelling it would leave a cut file on the server.
    bool isStoring() const { return m_job.isRunning() && m_storing.load(); }

    void setTimeouts(const Timeouts& timeouts) { m_timeouts = timeouts; }
    Timeouts timeouts() const { return m_timeouts; }
    void setRemoteCodec(const QByteArray& codec) { m_remoteCodec = codec; }

    // The libcurl message of the last failed command.
    QString lastErrorText() const;

    // Splits the arguments of "PUT": a work file's name ends in "$$" and a slot number, which tells where
    // the local name ends even when either name holds blanks. Without such an ending the first blank splits.
    static bool splitPutArguments(const QString& arguments, QString& local, QString& remote);

private:
    struct Session;
    struct Command
    {
        enum Kind { Cd, Put, Quit } kind;
        QString argument;
        QString local;
    };

    void run(const Command& command);
    int perform(const Command& command);
    void closeSession(bool polite);
    void shutdownSockets();
    QByteArray directoryUrl() const;

    friend struct FtpCallbacks; // libcurl's callbacks, with libcurl's own types

    QString m_url;
    QString m_userName;
    QString m_password;
    QByteArray m_remoteCodec = "UTF-8";
    Timeouts m_timeouts;

    // Touched by the worker only while a command runs, by the window's thread only between commands.
    void* m_curl = nullptr;
    QByteArray m_sessionKey;
    QByteArray m_directory; // percent-encoded, relative to the login directory unless it starts with %2F
    QByteArray m_errorBuffer;

    std::mutex m_socketsMutex;
    std::set<int> m_sockets;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_storing{false};
    std::atomic<int> m_result{0};
    QString m_lastErrorText;
    mutable std::mutex m_textMutex;
    BackgroundJob m_job;
};
