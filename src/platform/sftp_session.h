#pragma once

#include "platform/ftp_endpoint.h"
#include "platform/ftp_transfer.h"
#include "platform/server_identity.h"
#include "platform/sftp_channel.h"
#include "platform/transfer_failure.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

// FtpTransfer's commands for an sftp:// server, on libssh: one SSH connection for "CD", "PUT" and "QUIT" of
// one server and login, opened by the first "PUT".
//
// The host key must be the one ~/.ssh/known_hosts holds for the host and port (KnownHosts); the password is
// given the way the server asks for it ("password" or "keyboard-interactive"). Nothing of ~/.ssh/config, an
// agent or a key file is used. "CD" has FTP's meaning: a folder starting with "/" is from the server's root,
// others are relative to the path typed after the host (from the root, or from the login folder when it
// starts with "~"), or to the login folder.
//
// "PUT" stores the page under a temporary name and puts it in place without the old page ever being removed
// first: OpenSSH's posix-rename replaces it in one step; elsewhere the old page is renamed aside, the new one
// renamed in and only then the old one removed (and renamed back when the new one could not take its name).
// A server that will not rename gets the page stored directly, remembered as for FTP. A failed "PUT" removes
// its temporary file, reconnecting for it when the connection was lost.
//
// Every wait is bounded by FtpTransfer::Timeouts. Used by one thread at a time; interrupt() may be called
// from any thread and ends a running command within a second.
class SftpSession
{
public:
    explicit SftpSession(const std::atomic<bool>& cancelled);
    SftpSession(const SftpSession&) = delete;
    SftpSession& operator=(const SftpSession&) = delete;
    ~SftpSession();

    // The server and login of the commands that follow; a connection to another one is dropped.
    void use(const FtpEndpoint& endpoint, const QString& userName, const QString& password,
             const FtpTransfer::Timeouts& timeouts);

    // Remote names in the server's code page.
    TransferFailure changeFolder(const QByteArray& folder);
    TransferFailure store(const QString& local, const QByteArray& name, FtpTransfer::Replacement replacement);
    TransferFailure quit();

    // Drops the connection without a word to the server. Not while a command runs on another thread.
    void close();
    // Shuts the connection's socket down, so that whatever the running command waits for ends at once.
    void interrupt();

    // The host key of the last connection that was refused for it (unknown, changed or revoked); unset otherwise.
    ServerIdentity refusedIdentity() const
    {
        return m_identity.standing == ServerIdentity::Standing::Trusted ? ServerIdentity() : m_identity;
    }

    // Connects only as far as the host key and judges it, with no user name or password sent; unset when the
    // server could not be reached, with the reason in `failure`.
    ServerIdentity probe(const FtpEndpoint& endpoint, const FtpTransfer::Timeouts& timeouts, TransferFailure& failure);

    // FtpTransfer's failure number for a failure of ours.
    static int failureNumber(const TransferFailure& failure);

private:
    using Stage = TransferFailure::Stage;

    // The path sent for `name` in the folder "CD" has led to, under the path typed after the host.
    static QByteArray remotePath(const QByteArray& basePath, bool fromRoot, const QList<QByteArray>& folder,
                                 const QByteArray& name);

    TransferFailure connect(const FtpTransfer::Timeouts& timeouts);
    TransferFailure connectSocket(const FtpTransfer::Timeouts& timeouts);
    TransferFailure checkHostKey(const QByteArray& host);
    TransferFailure logIn();
    TransferFailure putInPlace(const QByteArray& temporary, const QByteArray& page, bool& refusesRenames);
    TransferFailure storeFile(QFile& file, const QByteArray& path, bool& created);
    bool reconnectForCleanup();
    void removeTemporary(const QByteArray& temporary);
    TransferFailure failure(Stage stage, const QString& reason, const QString& detail = {}) const;
    TransferFailure refusal(Stage stage, const QString& reason, quint32 status, const QByteArray& message) const;
    TransferFailure lostAt(Stage stage, const QString& detail) const;
    // lostAt(), and the connection dropped.
    TransferFailure lost(Stage stage, const SftpChannel::Reply& reply);
    TransferFailure sessionFailure(Stage stage, const QString& reason) const;
    QByteArray pathOf(const QByteArray& name) const;
    void disconnect(bool polite);

    const std::atomic<bool>& m_cancelled;

    FtpEndpoint m_endpoint;
    QString m_userName;
    QString m_password;
    FtpTransfer::Timeouts m_timeouts;
    QByteArray m_sessionKey;
    QByteArray m_knownHosts; // as read when the connection opened
    QString m_knownHostsProblem;
    ServerIdentity m_identity; // the host key of the last connection, as judged
    bool m_probeOnly = false;
    bool m_fromRoot = false;
    QList<QByteArray> m_folder;

    void* m_ssh = nullptr; // ssh_session
    std::unique_ptr<SftpChannel> m_sftp;
    bool m_cleanupConnection = false; // opened with short limits to tidy up after a failure

    std::mutex m_socketMutex; // the socket is shut down from other threads
    int m_socket = -1;
    int m_sshSocket = -1; // libssh's copy of it
};
