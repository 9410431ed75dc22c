#include "debian_servers.h"
#include "server_process.h"
#include "test_files.h"
#include "test_timeouts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

const QString DebianServer::User = QStringLiteral("veltora-interop");
const QString DebianServer::Password = QStringLiteral("Interop-Pa55-word");

namespace {

const QString Root = QStringLiteral(VELTORA_INTEROP_SERVERS "/root");

QString program(const QString& path)
{
    return Root + path;
}

// Runs a tool to its end; its complaint, empty when it succeeded.
QString run(const QString& tool, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(tool, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(scaledMs(30000)) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QStringLiteral("%1 %2: %3%4")
            .arg(tool, arguments.join(u' '), process.errorString(), QString::fromLocal8Bit(process.readAll()));
    return {};
}

// A system user without home or shell, made once; the password is set again every time, so a run never
// depends on what an earlier one left.
QString makeLogin()
{
    const QString nologin = QStringLiteral("/usr/sbin/nologin");
    if (!getpwnam("sshd")) {
        const QString failed =
            run(QStringLiteral("/usr/sbin/useradd"),
                {QStringLiteral("--system"), QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"),
                 QStringLiteral("/run/sshd"), QStringLiteral("--shell"), nologin, QStringLiteral("sshd")});
        if (!failed.isEmpty())
            return failed;
    }
    // sshd's privilege separation folder, which its package would make.
    if (!QDir().mkpath(QStringLiteral("/run/sshd")))
        return QStringLiteral("cannot make /run/sshd");
    // vsftpd changes into the home folder before its own local_root: "/" is there on every machine.
    if (!getpwnam(qPrintable(DebianServer::User))) {
        const QString failed =
            run(QStringLiteral("/usr/sbin/useradd"),
                {QStringLiteral("--system"), QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"),
                 QStringLiteral("/"), QStringLiteral("--shell"), nologin, DebianServer::User});
        if (!failed.isEmpty())
            return failed;
    }
    return run(QStringLiteral("/usr/sbin/chpasswd"), {},
               (DebianServer::User + u':' + DebianServer::Password + u'\n').toUtf8());
}

bool accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

QString passwordHash()
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), {QStringLiteral("passwd"), QStringLiteral("-6"), DebianServer::Password});
    openssl.waitForFinished(scaledMs(30000));
    return QString::fromLatin1(openssl.readAllStandardOutput().trimmed());
}

} // namespace

QString DebianServer::unavailable()
{
    if (::geteuid() != 0)
        return QStringLiteral("the servers need root: vsftpd and sshd check the password against the system's "
                              "accounts, and every server switches to the login's user");
    return {};
}

bool DebianServer::setUp(QString* error)
{
    static const QString failure = [] {
        for (const char* path :
             {"/usr/sbin/vsftpd", "/usr/sbin/sshd", "/usr/sbin/pure-ftpd", "/usr/bin/pure-pw", "/usr/sbin/proftpd"}) {
            if (!QFile::exists(program(QString::fromLatin1(path))))
                return QStringLiteral("%1 is not unpacked in %2 (scripts/interop-servers.sh)")
                    .arg(QString::fromLatin1(path), Root);
        }
        return makeLogin();
    }();
    *error = failure;
    return failure.isEmpty();
}

bool DebianServer::prepare(const QString& dir)
{
    stop();
    m_dir = dir;
    m_site = QDir(dir).filePath(QStringLiteral("site"));
    m_log = QDir(dir).filePath(QStringLiteral("server.log"));
    const passwd* login = getpwnam(qPrintable(User));
    // The servers work as the login's user, who must reach the site through the caller's folders.
    if (!login || !QDir(m_site).mkpath(QStringLiteral("public_html")) ||
        ::chown(qPrintable(m_site), login->pw_uid, login->pw_gid) != 0 ||
        ::chown(qPrintable(m_site + QStringLiteral("/public_html")), login->pw_uid, login->pw_gid) != 0) {
        m_error = QStringLiteral("cannot make %1 for %2").arg(m_site, User);
        return false;
    }
    // Only the search bits are added, where they lack: the other bits (the sticky bit of /tmp) stay.
    for (QString folder = dir; folder.size() > 1; folder = QFileInfo(folder).path()) {
        struct stat status;
        if (::stat(qPrintable(folder), &status) == 0 && (status.st_mode & 011) != 011)
            ::chmod(qPrintable(folder), (status.st_mode & 07777) | 011);
    }
    return true;
}

bool DebianServer::launch(const QString& path, const std::function<std::optional<QStringList>()>& configure)
{
    // A port found free may be taken before the server binds it: a server that ends at once gets another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = unusedLoopbackPort();
        const std::optional<QStringList> arguments = configure();
        if (!arguments) {
            m_error = QStringLiteral("cannot write the configuration in %1").arg(m_dir);
            return false;
        }
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(path), *arguments);
        m_process.waitForStarted(scaledMs(10000));
        QDeadlineTimer deadline(scaledMs(15000));
        while (m_process.state() == QProcess::Running && !deadline.hasExpired()) {
            if (accepts(m_port))
                return true;
            m_process.waitForFinished(20);
        }
        m_error = QStringLiteral("%1 did not listen on port %2: %3").arg(path).arg(m_port).arg(output());
        stop();
    }
    return false;
}

void DebianServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        // SIGTERM first: the daemons then end the sessions they forked as well.
        m_process.terminate();
        if (!m_process.waitForFinished(scaledMs(3000))) {
            m_process.kill();
            m_process.waitForFinished(scaledMs(3000));
        }
    }
    if (!m_pam.isEmpty())
        QFile::remove(std::exchange(m_pam, QString()));
    m_port = 0;
}

QString DebianServer::output()
{
    QFile log(m_log);
    return QString::fromLocal8Bit(m_process.readAll() + (log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray()));
}

bool DebianServer::startVsftpd(const QString& dir, const QString& tls, const QString& certificate, const QString& key)
{
    if (!prepare(dir))
        return false;
    // PAM takes a service name that is an absolute path as the file itself, but lowers its letters first.
    m_pam = QDir::tempPath() + QStringLiteral("/veltora-interop-%1.pam").arg(QCoreApplication::applicationPid());
    const QString pam = m_pam;
    if (pam != pam.toLower()) {
        m_error = QStringLiteral("the temporary folder %1 has capitals, which PAM would lower").arg(QDir::tempPath());
        return false;
    }
    if (!writeFile(pam, "auth required pam_unix.so\naccount required pam_unix.so\nsession required pam_permit.so\n") ||
        !QDir(dir).mkpath(QStringLiteral("empty")))
        return false;
    const QString config = QDir(dir).filePath(QStringLiteral("vsftpd.conf"));
    return launch(QStringLiteral("/usr/sbin/vsftpd"), [&]() -> std::optional<QStringList> {
        QString text = QStringLiteral("listen=YES\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                                      "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_root=%2\n"
                                      "pam_service_name=%3\nsecure_chroot_dir=%4/empty\nseccomp_sandbox=NO\n"
                                      "userlist_enable=NO\npasv_address=127.0.0.1\nxferlog_enable=YES\n"
                                      "vsftpd_log_file=%5\nlog_ftp_protocol=YES\n")
                           .arg(m_port)
                           .arg(m_site, pam, dir, m_log);
        if (tls != QLatin1String("none"))
            text += QStringLiteral("ssl_enable=YES\nrsa_cert_file=%1\nrsa_private_key_file=%2\nssl_ciphers=HIGH\n"
                                   "force_local_logins_ssl=YES\nforce_local_data_ssl=YES\nimplicit_ssl=%3\n")
                        .arg(certificate, key,
                             tls == QLatin1String("implicit") ? QStringLiteral("YES") : QStringLiteral("NO"));
        return writeFile(config, text.toUtf8()) ? std::optional(QStringList{config}) : std::nullopt;
    });
}

bool DebianServer::startSshd(const QString& dir, const QStringList& hostKeys)
{
    if (!prepare(dir))
        return false;
    const QString config = QDir(dir).filePath(QStringLiteral("sshd_config"));
    // sshd re-executes itself and so must be named by its absolute path.
    return launch(QStringLiteral("/usr/sbin/sshd"), [&]() -> std::optional<QStringList> {
        QString text = QStringLiteral("ListenAddress 127.0.0.1:%1\nPidFile none\nUsePAM no\n"
                                      "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                                      "PubkeyAuthentication no\nAuthorizedKeysFile none\n"
                                      "PermitRootLogin no\nAllowUsers %2\nStrictModes no\nUseDNS no\n"
                                      "Subsystem sftp internal-sftp\n"
                                      "ForceCommand internal-sftp -d %3\nLogLevel VERBOSE\n")
                           .arg(m_port)
                           .arg(User, m_site);
        for (const QString& hostKey : hostKeys)
            text += QStringLiteral("HostKey %1\n").arg(hostKey);
        if (!writeFile(config, text.toUtf8()))
            return std::nullopt;
        return QStringList{QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config};
    });
}

bool DebianServer::startPureFtpd(const QString& dir, const QStringList& arguments)
{
    if (!prepare(dir))
        return false;
    // A virtual user of pure-ftpd's own database, working as the system user; "/./" closes it into the site.
    const passwd* login = getpwnam(qPrintable(User));
    const QString passwords = QDir(dir).filePath(QStringLiteral("pureftpd.passwd"));
    const QString database = QDir(dir).filePath(QStringLiteral("pureftpd.pdb"));
    const QString line = QStringLiteral("%1:%2:%3:%4::%5/./::::::::::::\n")
                             .arg(User, passwordHash())
                             .arg(login->pw_uid)
                             .arg(login->pw_gid)
                             .arg(m_site);
    QString failed;
    if (!writeFile(passwords, line.toUtf8()) ||
        !(failed = run(program(QStringLiteral("/usr/bin/pure-pw")),
                       {QStringLiteral("mkdb"), database, QStringLiteral("-f"), passwords}))
             .isEmpty()) {
        m_error = QStringLiteral("pure-pw mkdb: %1").arg(failed);
        return false;
    }
    return launch(QStringLiteral("/usr/sbin/pure-ftpd"), [&]() -> std::optional<QStringList> {
        return QStringList{QStringLiteral("-S"), QStringLiteral("127.0.0.1,%1").arg(m_port),
                           QStringLiteral("-l"), QStringLiteral("puredb:") + database,
                           QStringLiteral("-E"), QStringLiteral("-H"),
                           QStringLiteral("-A")} +
               arguments;
    });
}

bool DebianServer::startProftpd(const QString& dir, const QString& deniedCommands)
{
    if (!prepare(dir))
        return false;
    const passwd* login = getpwnam(qPrintable(User));
    const QString passwords = QDir(dir).filePath(QStringLiteral("proftpd.passwd"));
    const QString config = QDir(dir).filePath(QStringLiteral("proftpd.conf"));
    if (!writeFile(passwords, QStringLiteral("%1:%2:%3:%4::%5:/usr/sbin/nologin\n")
                                  .arg(User, passwordHash())
                                  .arg(login->pw_uid)
                                  .arg(login->pw_gid)
                                  .arg(m_site)
                                  .toUtf8()) ||
        !QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner))
        return false;
    return launch(QStringLiteral("/usr/sbin/proftpd"), [&]() -> std::optional<QStringList> {
        const bool written =
            writeFile(config, QStringLiteral("ServerType standalone\nDefaultAddress 127.0.0.1\nPort %1\n"
                                             "User nobody\nGroup nogroup\nPidFile %2/proftpd.pid\n"
                                             "ScoreboardFile %2/proftpd.scoreboard\nDelayTable none\n"
                                             "UseIPv6 off\nUseReverseDNS off\nWtmpLog off\n"
                                             "AuthOrder mod_auth_file.c\nAuthUserFile %3\n"
                                             "RequireValidShell off\nDefaultRoot ~\nTransferLog none\n"
                                             "SystemLog %4\n<Directory />\n  AllowOverwrite on\n</Directory>\n"
                                             "<Limit %5>\n  DenyAll\n</Limit>\n")
                                  .arg(m_port)
                                  .arg(dir, passwords, m_log, deniedCommands)
                                  .toUtf8());
        return written ? std::optional(QStringList{QStringLiteral("-n"), QStringLiteral("-c"), config}) : std::nullopt;
    });
}
