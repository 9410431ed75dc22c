#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Debian's own vsftpd, OpenSSH sshd, pure-ftpd and proftpd, unpacked by scripts/interop-servers.sh into the
// build folder, each started on a free loopback port with a configuration written into a folder the caller
// owns, and stopped by its process id. Every server lets the same login in: the user `User` with `Password`
// lands in "<dir>/site", which holds an empty "public_html". vsftpd and sshd check the password against the
// system's accounts, so a system user of that name (no home, no shell) is made once, and sshd's privilege
// separation user with it where the machine has none; pure-ftpd and proftpd read files of their own.
class DebianServer
{
public:
    static const QString User;
    static const QString Password;

    // Why the servers cannot run on this machine at all, empty when they can: they need root, as vsftpd and
    // sshd check the password against the system's accounts and every server switches to the login's user.
    static QString unavailable();
    // Checks that the servers are unpacked and makes the login; false with the reason in `error`.
    static bool setUp(QString* error);

    DebianServer() = default;
    DebianServer(const DebianServer&) = delete;
    DebianServer& operator=(const DebianServer&) = delete;
    ~DebianServer() { stop(); }

    // tls: "none", "explicit" or "implicit", with the certificate and key in PEM.
    bool startVsftpd(const QString& dir, const QString& tls, const QString& certificate, const QString& key);
    // Password logins only, into internal-sftp; the host key files are OpenSSH's private keys.
    bool startSshd(const QString& dir, const QStringList& hostKeys);
    // Extra arguments after the address and the login database ("-G": no renames).
    bool startPureFtpd(const QString& dir, const QStringList& arguments);
    // The commands every login is denied ("RNTO", "RNFR RNTO").
    bool startProftpd(const QString& dir, const QString& deniedCommands);
    void stop();

    // The folder the login lands in.
    QString site() const { return m_site; }
    quint16 port() const { return m_port; }
    // Why the last start failed, the server's output and log included.
    QString error() const { return m_error; }
    // The server's output and log so far, for a failed test.
    QString output();

private:
    bool prepare(const QString& dir);
    // Starts the program with the arguments `configure` returns once it has written the configuration for
    // m_port (nothing: it could not), and waits until the port accepts connections.
    bool launch(const QString& program, const std::function<std::optional<QStringList>()>& configure);

    QProcess m_process;
    QString m_dir;
    QString m_site;
    QString m_log;
    QString m_pam; // vsftpd's PAM service file, which cannot be in the caller's folder
    quint16 m_port = 0;
    QString m_error;
};
