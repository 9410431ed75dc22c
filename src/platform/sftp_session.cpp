#include "platform/sftp_session.h"

#include "platform/known_hosts.h"
#include "platform/sftp_channel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <curl/curl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The longest a cancelled wait goes on: every wait of our own is cut into slices this long.
constexpr int CancelSliceMs = 100;
// Host key algorithms in our order of preference; never SHA-1 "ssh-rsa", which current servers refuse.
const QList<QByteArray> HostKeyAlgorithms{"ssh-ed25519",         "ecdsa-sha2-nistp256", "ecdsa-sha2-nistp384",
                                          "ecdsa-sha2-nistp521", "rsa-sha2-512",        "rsa-sha2-256"};

// As OpenSSH does: the types of key known_hosts holds for the server first, so that a server with several
// keys shows the one we know.
QByteArray hostKeyPreference(const QList<QByteArray>& knownTypes)
{
    QList<QByteArray> algorithms;
    for (const QByteArray& type : knownTypes) {
        const QList<QByteArray> forType =
            type == "ssh-rsa" ? QList<QByteArray>{"rsa-sha2-512", "rsa-sha2-256"} : QList<QByteArray>{type};
        for (const QByteArray& algorithm : forType) {
            if (HostKeyAlgorithms.contains(algorithm) && !algorithms.contains(algorithm))
                algorithms << algorithm;
        }
    }
    for (const QByteArray& algorithm : HostKeyAlgorithms) {
        if (!algorithms.contains(algorithm))
            algorithms << algorithm;
    }
    return algorithms.join(',');
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, CancelSliceMs));
}

// getaddrinfo() has no time limit of its own: a name is looked up on a thread of its own that is left
// behind when the time is up. An address typed as digits needs no lookup.
struct Lookup
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    addrinfo* addresses = nullptr;
    int error = 0;
};

addrinfo* lookUp(const QByteArray& host, const QByteArray& port, Clock::time_point deadline,
                 const std::atomic<bool>& cancelled, QString& why)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    if (getaddrinfo(host.constData(), port.constData(), &hints, &addresses) == 0)
        return addresses;
    auto lookup = std::make_shared<Lookup>();
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    std::thread([lookup, host, port, hints] {
        addrinfo* found = nullptr;
        const int error = getaddrinfo(host.constData(), port.constData(), &hints, &found);
        std::lock_guard lock(lookup->mutex);
        if (lookup->abandoned) {
            if (found)
                freeaddrinfo(found);
            return;
        }
        lookup->addresses = found;
        lookup->error = error;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished && !cancelled.load() && Clock::now() < deadline)
        lookup->done.wait_for(lock, milliseconds(remainingMs(deadline) + 1));
    if (!lookup->finished) {
        lookup->abandoned = true;
        why = QStringLiteral("名前の解決が時間内に終わりません");
        return nullptr;
    }
    if (lookup->error != 0)
        why = QString::fromUtf8(gai_strerror(lookup->error));
    return lookup->addresses;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The server's status as words where it sent none.
QByteArray statusText(quint32 status, const QByteArray& message)
{
    if (!message.trimmed().isEmpty())
        return message;
    switch (status) {
    case SSH_FX_NO_SUCH_FILE:
        return "No such file";
    case SSH_FX_PERMISSION_DENIED:
        return "Permission denied";
    case SSH_FX_OP_UNSUPPORTED:
        return "Operation unsupported";
    case SSH_FX_FILE_ALREADY_EXISTS:
        return "File already exists";
    default:
        return "Failure " + QByteArray::number(status);
    }
}

bool isMissing(quint32 status)
{
    return status == SSH_FX_NO_SUCH_FILE || status == SSH_FX_NO_SUCH_PATH;
}

} // namespace

SftpSession::SftpSession(const std::atomic<bool>& cancelled) : m_cancelled(cancelled) {}

SftpSession::~SftpSession()
{
    disconnect(false);
}

void SftpSession::use(const FtpEndpoint& endpoint, const QString& userName, const QString& password,
                      const FtpTransfer::Timeouts& timeouts)
{
    const QByteArray key =
        endpoint.serverKey + '\0' + endpoint.basePath + '\0' + userName.toUtf8() + '\0' + password.toUtf8();
    if (key != m_sessionKey)
        close();
    m_sessionKey = key;
    m_endpoint = endpoint;
    m_userName = userName;
    m_password = password;
    m_timeouts = timeouts;
}

void SftpSession::close()
{
    disconnect(false);
    m_fromRoot = false;
    m_folder.clear();
    m_sessionKey.clear();
}

void SftpSession::interrupt()
{
    std::lock_guard lock(m_socketMutex);
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}

TransferFailure SftpSession::changeFolder(const QByteArray& folder)
{
    if (folder.startsWith('/')) {
        m_fromRoot = true;
        m_folder.clear();
    }
    for (const QByteArray& segment : folder.split('/')) {
        if (!segment.isEmpty())
            m_folder << segment;
    }
    return {};
}

QByteArray SftpSession::remotePath(const QByteArray& basePath, bool fromRoot, const QList<QByteArray>& folder,
                                   const QByteArray& name)
{
    QList<QByteArray> parts;
    if (fromRoot) {
        parts << QByteArray();
    } else if (basePath == "~" || basePath.startsWith("~/")) {
        // A relative path is the login folder's on every server.
        if (basePath.size() > 2)
            parts << basePath.mid(2);
    } else if (!basePath.isEmpty()) {
        parts << QByteArray() << basePath; // typed after the host: from the root, as in an sftp:// URL
    }
    parts << folder << name;
    return parts.join('/');
}

QByteArray SftpSession::pathOf(const QByteArray& name) const
{
    return remotePath(m_endpoint.basePath, m_fromRoot, m_folder, name);
}

TransferFailure SftpSession::quit()
{
    disconnect(true);
    return {};
}

TransferFailure SftpSession::failure(Stage stage, const QString& reason, const QString& detail) const
{
    TransferFailure failure;
    failure.stage = m_cancelled.load() ? Stage::Cancelled : stage;
    failure.reason = m_cancelled.load() ? QStringLiteral("中止しました") : reason;
    failure.detail = detail;
    if (!m_password.isEmpty())
        failure.detail.replace(m_password, QStringLiteral("****"));
    return failure;
}

TransferFailure SftpSession::refusal(Stage stage, const QString& reason, quint32 status,
                                     const QByteArray& message) const
{
    TransferFailure refused = failure(stage, reason);
    refused.reply = TransferFailure::printableReply(statusText(status, message), m_password);
    return refused;
}

TransferFailure SftpSession::lostAt(Stage stage, const QString& detail) const
{
    return failure(stage, QStringLiteral("サーバーとの接続が切れました"), detail);
}

TransferFailure SftpSession::sessionFailure(Stage stage, const QString& reason) const
{
    return failure(stage, reason, m_ssh ? QString::fromUtf8(ssh_get_error(m_ssh)) : QString());
}

int SftpSession::failureNumber(const TransferFailure& failure)
{
    switch (failure.stage) {
    case Stage::None:
        return 0;
    case Stage::LocalFile:
        return FtpTransfer::LocalFileError;
    case Stage::Cancelled:
        return FtpTransfer::CancelledError;
    case Stage::Connect:
    case Stage::Tls:
        return FtpTransfer::CurlErrorBase + CURLE_COULDNT_CONNECT;
    case Stage::HostKey:
        return FtpTransfer::CurlErrorBase + CURLE_PEER_FAILED_VERIFICATION;
    case Stage::Login:
        return FtpTransfer::CurlErrorBase + CURLE_LOGIN_DENIED;
    case Stage::Folder:
        return FtpTransfer::CurlErrorBase + CURLE_REMOTE_ACCESS_DENIED;
    case Stage::Store:
        return FtpTransfer::CurlErrorBase + CURLE_UPLOAD_FAILED;
    case Stage::Rename:
        return FtpTransfer::CurlErrorBase + CURLE_QUOTE_ERROR;
    case Stage::Logout:
        return FtpTransfer::CurlErrorBase + CURLE_SEND_ERROR;
    }
    return FtpTransfer::CurlErrorBase + CURLE_SSH;
}

TransferFailure SftpSession::connectSocket(const FtpTransfer::Timeouts& timeouts)
{
    const auto deadline = Clock::now() + milliseconds(timeouts.connectMs);
    QByteArray host = m_endpoint.host;
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    QString why;
    addrinfo* addresses = lookUp(host, QByteArray::number(m_endpoint.port), deadline, m_cancelled, why);
    if (!addresses)
        return failure(Stage::Connect, QStringLiteral("サーバーの名前が見つかりません"), why);
    int lastError = ETIMEDOUT;
    for (addrinfo* address = addresses; address && !m_cancelled.load(); address = address->ai_next) {
        const int socket =
            ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
        if (socket < 0) {
            lastError = errno;
            continue;
        }
        int error = ::connect(socket, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            error = ETIMEDOUT;
            pollfd wanted{socket, POLLOUT, 0};
            bool answered = false;
            while (!answered && !m_cancelled.load() && Clock::now() < deadline) {
                answered = ::poll(&wanted, 1, remainingMs(deadline)) > 0;
                socklen_t size = sizeof error;
                if (answered && ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                    error = errno;
            }
        }
        if (error == 0) {
            // As libssh keeps the sockets it opens itself: blocking, waits bounded by poll().
            ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) & ~O_NONBLOCK);
            const int on = 1;
            ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            std::lock_guard lock(m_socketMutex);
            m_socket = socket;
            break;
        }
        lastError = error;
        ::close(socket);
    }
    freeaddrinfo(addresses);
    if (m_socket < 0)
        return failure(Stage::Connect, QStringLiteral("サーバーに接続できません"), errnoText(lastError));
    return {};
}

TransferFailure SftpSession::connect(const FtpTransfer::Timeouts& timeouts)
{
    TransferFailure failed = connectSocket(timeouts);
    if (failed.isFailure())
        return failed;
    // libssh gets a copy of the socket: on some errors it closes the one it was given, which must then not be
    // closed a second time (the number may by then belong to another thread's file).
    const int copy = ::fcntl(m_socket, F_DUPFD_CLOEXEC, 0);
    ssh_session ssh = ssh_new();
    if (copy < 0 || !ssh) {
        if (copy >= 0)
            ::close(copy);
        disconnect(false);
        return failure(Stage::Connect, QStringLiteral("SSH の接続を始められません"), errnoText(errno));
    }
    m_ssh = ssh;
    m_sshSocket = copy;
    QByteArray host = m_endpoint.host;
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    const unsigned int port = unsigned(m_endpoint.port);
    const long responseSeconds = std::max(1, timeouts.responseSeconds);
    const bool readConfig = false;
    const int off = 0;
    const QByteArray user = m_userName.toUtf8();
    QFile knownHostsFile(ServerTrust::knownHostsPath());
    m_knownHosts.clear();
    m_knownHostsProblem.clear();
    m_identity = {};
    if (knownHostsFile.open(QIODevice::ReadOnly))
        m_knownHosts = knownHostsFile.readAll();
    else if (knownHostsFile.exists())
        m_knownHostsProblem = knownHostsFile.errorString();
    const QByteArray preference = hostKeyPreference(KnownHosts::keyTypes(m_knownHosts, host, m_endpoint.port));
    // Every option counts: libssh's defaults would read ~/.ssh/config (a proxy command, another user or port),
    // offer keys and an agent, and accept SHA-1 "ssh-rsa". The host key is judged by KnownHosts alone; libssh
    // would read the files its own way to order the algorithms.
    const bool optionsTaken = ssh_options_set(ssh, SSH_OPTIONS_HOST, host.constData()) == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_PORT, &port) == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_FD, &copy) == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_TIMEOUT, &responseSeconds) == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_PROCESS_CONFIG, &readConfig) == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_PUBKEY_AUTH, &off) == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_GSSAPI_AUTH, &off) == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_KNOWNHOSTS, "/dev/null") == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null") == SSH_OK &&
                              ssh_options_set(ssh, SSH_OPTIONS_HOSTKEYS, preference.constData()) == SSH_OK &&
                              (user.isEmpty() || ssh_options_set(ssh, SSH_OPTIONS_USER, user.constData()) == SSH_OK);
    if (!optionsTaken || ssh_connect(ssh) != SSH_OK) {
        failed = sessionFailure(Stage::Connect, QStringLiteral("SSH の接続を確立できません"));
        disconnect(false);
        return failed;
    }
    failed = checkHostKey(host);
    if (m_probeOnly) {
        disconnect(false);
        return failed;
    }
    if (!failed.isFailure())
        failed = logIn();
    if (!failed.isFailure()) {
        SftpChannel::Limits limits;
        limits.responseMs = int(responseSeconds * 1000);
        limits.lowSpeedBytes = timeouts.lowSpeedBytes;
        limits.lowSpeedMs = std::max(1, timeouts.lowSpeedSeconds) * 1000;
        m_sftp = std::make_unique<SftpChannel>(m_ssh, limits);
        const SftpChannel::Reply started = m_sftp->start();
        if (started.kind == SftpChannel::Reply::Refused)
            failed = failure(Stage::Login, QStringLiteral("サーバーが SFTP を受け付けません"), started.detail);
        else if (!started.ok())
            failed = lostAt(Stage::Login, started.detail);
    }
    if (failed.isFailure())
        disconnect(false);
    return failed;
}

TransferFailure SftpSession::checkHostKey(const QByteArray& host)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(static_cast<ssh_session>(m_ssh), &key) != SSH_OK)
        return sessionFailure(Stage::HostKey, QStringLiteral("ホスト鍵を受け取れません"));
    char* encoded = nullptr;
    const int exported = ssh_pki_export_pubkey_base64(key, &encoded);
    const QByteArray type = ssh_key_type_to_char(ssh_key_type(key));
    ssh_key_free(key);
    if (exported != SSH_OK)
        return sessionFailure(Stage::HostKey, QStringLiteral("ホスト鍵を受け取れません"));
    const QByteArray blob = QByteArray::fromBase64(encoded);
    ssh_string_free_char(encoded);

    const KnownHosts::Judgement judgement = KnownHosts::judge(m_knownHosts, host, m_endpoint.port, blob);
    // The key as OpenSSH shows it, for the user to compare with the one the server's owner gives.
    QString detail = QStringLiteral("%1 %2").arg(QString::fromUtf8(type), ServerTrust::keyFingerprint(blob));
    if (judgement.line > 0)
        detail += QStringLiteral(", known_hosts %1 行目").arg(judgement.line);
    ServerIdentity& identity = m_identity;
    identity.kind = ServerIdentity::Kind::HostKey;
    identity.scheme = QStringLiteral("sftp");
    identity.host = host;
    identity.port = m_endpoint.port;
    identity.keyType = type;
    identity.key = blob;
    switch (judgement.verdict) {
    case KnownHosts::Verdict::Known:
        identity.standing = ServerIdentity::Standing::Trusted;
        return {};
    case KnownHosts::Verdict::Changed:
        identity.standing = ServerIdentity::Standing::Changed;
        identity.trustedFingerprints = {ServerTrust::keyFingerprint(judgement.key)};
        return failure(Stage::HostKey, QStringLiteral("ホスト鍵が ~/.ssh/known_hosts のものと違います"), detail);
    case KnownHosts::Verdict::Revoked:
        identity.standing = ServerIdentity::Standing::Revoked;
        return failure(Stage::HostKey, QStringLiteral("ホスト鍵は ~/.ssh/known_hosts で失効とされています"), detail);
    case KnownHosts::Verdict::Unknown:
        break;
    }
    if (!m_knownHostsProblem.isEmpty())
        detail += QStringLiteral(", known_hosts を読めません: %1").arg(m_knownHostsProblem);
    return failure(Stage::HostKey, QStringLiteral("ホスト鍵が ~/.ssh/known_hosts にありません"), detail);
}

ServerIdentity SftpSession::probe(const FtpEndpoint& endpoint, const FtpTransfer::Timeouts& timeouts,
                                  TransferFailure& failure)
{
    close();
    use(endpoint, {}, {}, timeouts);
    m_probeOnly = true;
    failure = connect(timeouts);
    m_probeOnly = false;
    close();
    return m_identity;
}

TransferFailure SftpSession::logIn()
{
    auto* ssh = static_cast<ssh_session>(m_ssh);
    int result = ssh_userauth_none(ssh, nullptr);
    if (result == SSH_AUTH_SUCCESS)
        return {};
    if (result == SSH_AUTH_ERROR)
        return sessionFailure(Stage::Login, QStringLiteral("サーバーとの接続が切れました"));
    const int methods = ssh_userauth_list(ssh, nullptr);
    const QByteArray password = m_password.toUtf8();
    if (methods & SSH_AUTH_METHOD_PASSWORD) {
        result = ssh_userauth_password(ssh, nullptr, password.constData());
        if (result == SSH_AUTH_SUCCESS)
            return {};
    }
    // Many servers ask for the password as a question ("Password:") instead.
    if ((methods & SSH_AUTH_METHOD_INTERACTIVE) && result != SSH_AUTH_ERROR) {
        result = ssh_userauth_kbdint(ssh, nullptr, nullptr);
        bool answered = false;
        for (int round = 0; result == SSH_AUTH_INFO && round < 8; ++round) {
            const int prompts = ssh_userauth_kbdint_getnprompts(ssh);
            bool asked = false;
            for (int i = 0; i < prompts; ++i) {
                char echo = 0;
                ssh_userauth_kbdint_getprompt(ssh, unsigned(i), &echo);
                asked = asked || !echo;
                ssh_userauth_kbdint_setanswer(ssh, unsigned(i), echo ? "" : password.constData());
            }
            if (asked && answered)
                break; // asked again: the password was not taken
            answered = answered || asked;
            result = ssh_userauth_kbdint(ssh, nullptr, nullptr);
        }
        if (result == SSH_AUTH_SUCCESS)
            return {};
    }
    if (result == SSH_AUTH_ERROR)
        return sessionFailure(Stage::Login, QStringLiteral("サーバーとの接続が切れました"));
    if (!(methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE)))
        return failure(Stage::Login, QStringLiteral("サーバーがパスワードでのログインを受け付けません"));
    return sessionFailure(Stage::Login, QStringLiteral("ログインが拒否されました"));
}

void SftpSession::disconnect(bool polite)
{
    if (!polite)
        interrupt();
    m_sftp.reset();
    if (m_ssh) {
        auto* ssh = static_cast<ssh_session>(m_ssh);
        ssh_disconnect(ssh);
        ssh_free(ssh);
        m_ssh = nullptr;
    }
    m_cleanupConnection = false;
    std::lock_guard lock(m_socketMutex);
    if (m_sshSocket >= 0 && m_socket >= 0) {
        // libssh's copy, unless libssh has closed it (the number then is no longer our socket).
        struct stat ours = {};
        struct stat copy = {};
        if (::fstat(m_socket, &ours) == 0 && ::fstat(m_sshSocket, &copy) == 0 && ours.st_dev == copy.st_dev &&
            ours.st_ino == copy.st_ino)
            ::close(m_sshSocket);
    }
    m_sshSocket = -1;
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

TransferFailure SftpSession::store(const QString& local, const QByteArray& name, FtpTransfer::Replacement replacement)
{
    QFile file(local);
    if (!file.open(QIODevice::ReadOnly))
        return failure(Stage::LocalFile, QStringLiteral("ページのファイルを読めません"), file.errorString());
    if (!m_sftp) {
        const TransferFailure failed = connect(m_timeouts);
        if (failed.isFailure())
            return failed;
    }
    const QByteArray page = pathOf(name);
    const QByteArray leaf = name.mid(name.lastIndexOf('/') + 1);
    bool created = false;
    if (leaf.isEmpty() || replacement == FtpTransfer::Replacement::Direct ||
        FtpTransfer::replacementFor(m_endpoint.serverKey) == FtpTransfer::Replacement::Direct)
        return storeFile(file, page, created);

    const QByteArray temporary = page + FtpTransfer::TemporarySuffix;
    TransferFailure failed = storeFile(file, temporary, created);
    bool refusesRenames = false;
    if (!failed.isFailure())
        failed = putInPlace(temporary, page, refusesRenames);
    if (refusesRenames) {
        FtpTransfer::rememberRenameRefusal(m_endpoint.serverKey);
        // The temporary file goes first: on a server near its quota it would stand in the page's way.
        removeTemporary(temporary);
        created = false;
        if (m_cancelled.load())
            failed = failure(Stage::Cancelled, {}); // the page is not in place
        else if (!file.seek(0))
            failed = failure(Stage::LocalFile, QStringLiteral("ページのファイルを読めません"), file.errorString());
        else
            failed = storeFile(file, page, created);
        created = false; // a failed direct store leaves no temporary file
    }
    if (created && failed.isFailure())
        removeTemporary(temporary);
    if (m_cleanupConnection)
        disconnect(true);
    return failed;
}

TransferFailure SftpSession::storeFile(QFile& file, const QByteArray& path, bool& created)
{
    QByteArray handle;
    SftpChannel::Reply reply = m_sftp->create(path, handle);
    if (reply.kind == SftpChannel::Reply::Refused) {
        if (isMissing(reply.status))
            return refusal(Stage::Folder, QStringLiteral("フォルダーがありません"), reply.status, reply.message);
        if (reply.status == SSH_FX_PERMISSION_DENIED)
            return refusal(Stage::Store, QStringLiteral("書き込みが拒否されました"), reply.status, reply.message);
        return refusal(Stage::Store, QStringLiteral("ファイルを作れません"), reply.status, reply.message);
    }
    if (!reply.ok())
        return lost(Stage::Store, reply);
    created = true;
    bool localFailure = false;
    reply = m_sftp->writeAll(handle, file, localFailure);
    if (!reply.ok()) {
        TransferFailure failed =
            localFailure ? failure(Stage::LocalFile, QStringLiteral("ページのファイルを読めません"), reply.detail)
            : reply.kind == SftpChannel::Reply::Refused
                ? refusal(Stage::Store, QStringLiteral("ページを書き込めません"), reply.status, reply.message)
                : lost(Stage::Store, reply);
        if (m_sftp)
            m_sftp->close(handle);
        return failed;
    }
    reply = m_sftp->close(handle);
    if (reply.kind == SftpChannel::Reply::Refused)
        return refusal(Stage::Store, QStringLiteral("ページを書き込めません"), reply.status, reply.message);
    if (!reply.ok())
        return lost(Stage::Store, reply);
    return {};
}

TransferFailure SftpSession::lost(Stage stage, const SftpChannel::Reply& reply)
{
    const TransferFailure failed = reply.timedOut
                                       ? failure(stage, QStringLiteral("サーバーが時間内に応えません"), reply.detail)
                                       : lostAt(stage, reply.detail);
    disconnect(false);
    return failed;
}

// Puts the stored temporary file under the page's name. `refusesRenames` is set (with no failure) when the
// server will not rename our file at all.
TransferFailure SftpSession::putInPlace(const QByteArray& temporary, const QByteArray& page, bool& refusesRenames)
{
    using Reply = SftpChannel::Reply;
    if (m_sftp->offers("posix-rename@openssh.com")) {
        const Reply replaced = m_sftp->posixRename(temporary, page);
        if (replaced.ok())
            return {};
        if (replaced.kind == Reply::Lost)
            return lost(Stage::Rename, replaced);
    }
    Reply renamed = m_sftp->rename(temporary, page);
    if (renamed.ok())
        return {};
    if (renamed.kind == Reply::Lost)
        return lost(Stage::Rename, renamed);
    if (renamed.status == SSH_FX_OP_UNSUPPORTED) {
        refusesRenames = true;
        return {};
    }
    // SFTP version 3 does not rename over an existing file: the old page steps aside until the new one stands.
    const QByteArray aside = page + FtpTransfer::AsideSuffix;
    Reply setAside = m_sftp->rename(page, aside);
    if (setAside.kind == Reply::Refused && !isMissing(setAside.status)) {
        // One left behind by a run that was cut off.
        const Reply removed = m_sftp->remove(aside);
        if (removed.kind == Reply::Lost)
            return lost(Stage::Rename, removed);
        setAside = m_sftp->rename(page, aside);
    }
    if (setAside.kind == Reply::Lost)
        return lost(Stage::Rename, setAside);
    if (!setAside.ok()) {
        // No old page in the way, or none that may be moved: this server does not rename our files.
        refusesRenames = true;
        return {};
    }
    renamed = m_sftp->rename(temporary, page);
    if (renamed.ok()) {
        const Reply removed = m_sftp->remove(aside);
        if (removed.kind == Reply::Lost)
            disconnect(false); // the new page stands; the old one stays beside it under its other name
        return {};
    }
    TransferFailure failed =
        renamed.kind == Reply::Lost
            ? lost(Stage::Rename, renamed)
            : refusal(Stage::Rename, QStringLiteral("名前を変更できません"), renamed.status, renamed.message);
    // The old page goes back under its name.
    if (reconnectForCleanup()) {
        const Reply back = m_sftp->rename(aside, page);
        if (!back.ok())
            failed.detail = QStringLiteral("元のページは %1 に残っています").arg(QString::fromUtf8(aside));
        if (back.kind == Reply::Lost)
            disconnect(false);
    }
    return failed;
}

bool SftpSession::reconnectForCleanup()
{
    if (m_cancelled.load())
        return false;
    if (m_sftp)
        return true;
    FtpTransfer::Timeouts brief = m_timeouts;
    brief.connectMs = std::min(brief.connectMs, 5000);
    brief.responseSeconds = std::min(brief.responseSeconds, 5);
    m_cleanupConnection = !connect(brief).isFailure();
    return m_cleanupConnection;
}

// Where the server still allows it; the failure that brought us here stays the one reported.
void SftpSession::removeTemporary(const QByteArray& temporary)
{
    if (!reconnectForCleanup())
        return;
    if (m_sftp->remove(temporary).kind == SftpChannel::Reply::Lost)
        disconnect(false);
}
