#pragma once

#include "platform/background_job.h"
#include "platform/ftp_endpoint.h"
#include "platform/server_identity.h"
#include "platform/tls_trust.h"
#include "platform/transfer_failure.h"

#include <QByteArray>
#include <QString>

#include <QList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

class SftpSession;

// The FTP side of our internet transfer stand-in, on libcurl. Text commands ("CD dir", "PUT local remote",
// "QUIT") start on a worker thread and the call returns at once; StillExecuting() tells when a command has
// ended and then reports its failure, once. The commands of one session share one control connection (one
// easy handle), so "CD" followed by "PUT" stores into that directory and "QUIT" logs out. "CD" only notes the
// folder: the "PUT" after it connects, logs in and changes folder in the same request, so a refused login or
// folder is that "PUT"'s failure, with its stage.
//
// "CD" has FTP's meaning: "/" and a folder starting with "/" start from the server's root, ".." goes up, and
// every segment is sent as it stands (CWD by CWD); otherwise folders are relative to the login folder.
// The server name's scheme chooses the transport (FtpEndpoint): plain FTP, FTP over TLS, or SFTP (SftpSession).
//
// "PUT" never leaves a half-written page under its name: the page is stored under a temporary name in the
// target folder and renamed over its name once the server has taken all of it (ViaTemporaryName). On a server
// that will not rename over an existing file, the old page is renamed aside, the new one renamed in, and only
// then is the old one removed (or renamed back when the new one cannot take its place). A server that refuses
// to rename at all gets the page stored directly (Direct), and is remembered as such until the program ends;
// so is one whose TLS data connections break, which gets TLS 1.2 at most. A failed "PUT" removes its
// temporary file where the server still allows it.
//
// Every call returns 0 or a failure number: StillExecutingError when a command is still running, the
// others below. Every command has bounded waits, so a dead, silent or stalled server ends in a failure.
// A failed command says why in lastFailure() (its stage, the server's reply, libcurl's message) and in one
// line on stderr; the password never appears in either, nor in any URL handed to libcurl.
//
// The window's thread owns the settings; a command works on a copy taken when it starts, so changing them
// while a command runs touches nothing the worker reads.
class FtpTransfer
{
public:
    static constexpr int StillExecutingError = 35764;
    static constexpr int InvalidUrlError = 35750;     // URL without host or with a scheme libcurl lacks
    static constexpr int InvalidCommandError = 35751; // not "CD", "PUT" or "QUIT", or a malformed one
    static constexpr int CancelledError = 35752;
    static constexpr int LocalFileError = 35753; // the local file of "PUT" cannot be read
    static constexpr int StoredIncompleteError = 35754; // the server's SIZE of the stored file is not what was sent
    static constexpr int CurlErrorBase = 36000;  // + the CURLcode of a failed command

    // How "PUT" puts a page under its name.
    enum class Replacement {
        ViaTemporaryName, // visitors see the old page or the whole new one, never a part
        Direct,           // stored under its name: a broken transfer leaves a cut page
    };
    // Appended to the remote name for the temporary file in the target folder.
    static constexpr char TemporarySuffix[] = ".veltora-part";
    // Appended to the remote name while the old page stands aside on a server that will not rename over it.
    static constexpr char AsideSuffix[] = ".veltora-old";

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
    // ViaTemporaryName unless chosen otherwise; a server that refuses renames gets Direct all the same.
    void setReplacement(Replacement replacement) { m_replacement = replacement; }

    // Why the last command failed: its stage, the server's reply where it gave one, and libcurl's message.
    TransferFailure lastFailure() const;
    QString lastErrorText() const { return lastFailure().fullText(); }
    // What the server showed of itself when the last command failed because it was not trusted (an unknown or
    // changed host key or certificate); unset after any other outcome.
    ServerIdentity refusedIdentity() const;

    // Direct for a server (scheme, host and port) that has refused to rename during this program's run.
    static Replacement replacementFor(const QByteArray& serverKey);
    static void rememberRenameRefusal(const QByteArray& serverKey);
    // Whether a server's TLS data connections broke during this program's run, so that it gets TLS 1.2 at most.
    static bool tlsCeilingFor(const QByteArray& serverKey);

    // Splits the arguments of "PUT": a work file's name ends in "$$" and a slot number, which tells where
    // the local name ends even when either name holds blanks. Without such an ending the first blank splits.
    static bool splitPutArguments(const QString& arguments, QString& local, QString& remote);

private:
    struct Command
    {
        enum Kind { Cd, Put, Quit } kind = Quit;
        QString argument;
        QString local;
        // The settings as they stood when the command started.
        std::optional<FtpEndpoint> endpoint;
        QString userName;
        QString password;
        Timeouts timeouts;
        QByteArray remoteCodec;
        Replacement replacement = Replacement::ViaTemporaryName;
    };
    // Where "CD" has led, as raw segments in the remote code page.
    struct RemoteFolder
    {
        bool fromRoot = false;
        QList<QByteArray> segments;
    };

    void run(const Command& command);
    int perform(const Command& command);
    int performSftp(const Command& command, const QString& userName, const QString& password);
    int store(const Command& command, const QByteArray& name);
    int storeOnce(const Command& command, const QByteArray& name);
    static constexpr int RenameRefused = -1;
    int renameOverRefused(const QByteArray& name, const QByteArray& temporary);
    int storeFile(const QString& local, const QByteArray& name, const QList<QByteArray>& before,
                  const QList<QByteArray>& after);
    void applyTlsCeiling();
    enum class CommandsAt { AfterChangingFolder, BeforeChangingFolder };
    int afterwards(const QList<QByteArray>& commands, CommandsAt at = CommandsAt::AfterChangingFolder);
    void removeTemporary(const Command& command, const QByteArray& temporary);
    QByteArray folderUrl() const;
    QList<QByteArray> renameCommands(const QByteArray& from, const QByteArray& to) const;
    QByteArray removeCommand(const QByteArray& name, bool mayFail) const;
    void noteFailure(int code);
    bool openSession();
    void prepareCommand(const Timeouts& timeouts);
    void closeSession(bool polite);
    void shutdownSockets();

    friend struct FtpCallbacks; // libcurl's callbacks, with libcurl's own types

    QString m_url;
    QString m_userName;
    QString m_password;
    QByteArray m_remoteCodec = "UTF-8";
    Timeouts m_timeouts;
    Replacement m_replacement = Replacement::ViaTemporaryName;

    // Touched by the worker only while a command runs, by the window's thread only between commands.
    void* m_curl = nullptr;
    QByteArray m_sessionKey;
    FtpEndpoint m_endpoint;
    RemoteFolder m_folder;
    QByteArray m_errorBuffer;
    QByteArray m_lastSent;    // the last FTP command sent (a password masked)
    QByteArray m_lastReply;   // the server's last reply line
    QString m_sessionUser;    // the user name of the session
    QString m_activePassword; // the password of the session, masked in the replies kept
    bool m_dataSent = false;
    // The size the stored file must have on the server (its SIZE answer is checked), and what it answered
    // instead; -1 when nothing is being checked or it matched.
    qint64 m_expectedSize = -1;
    qint64 m_sizeOnServer = -1;
    bool m_dataConnectionBroken = false; // the last store ended in 426
    std::unique_ptr<SftpSession> m_sftp;
    TlsPeerCheck m_tlsCheck;

    std::mutex m_socketsMutex;
    std::set<int> m_sockets;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_storing{false};
    std::atomic<int> m_result{0};
    TransferFailure m_lastFailure;
    ServerIdentity m_refusedIdentity;
    mutable std::mutex m_textMutex;
    BackgroundJob m_job;
};
