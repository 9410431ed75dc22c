#include "platform/ftp_transfer.h"

#include "platform/code_page.h"
#include "platform/sftp_session.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>

#include <curl/curl.h>

#include <chrono>
#include <csignal>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

void initCurlOnce()
{
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // A server that drops the connection must end a command in a failure, not the process.
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)done;
}

} // namespace

struct FtpCallbacks
{
    static curl_socket_t openSocket(void* self, curlsocktype, curl_sockaddr* address)
    {
        const curl_socket_t socket = ::socket(address->family, address->socktype, address->protocol);
        if (socket == CURL_SOCKET_BAD)
            return CURL_SOCKET_BAD;
        auto* transfer = static_cast<FtpTransfer*>(self);
        std::lock_guard lock(transfer->m_socketsMutex);
        transfer->m_sockets.insert(socket);
        return socket;
    }

    static int closeSocket(void* self, curl_socket_t socket)
    {
        auto* transfer = static_cast<FtpTransfer*>(self);
        {
            std::lock_guard lock(transfer->m_socketsMutex);
            transfer->m_sockets.erase(socket);
        }
        return ::close(socket);
    }

    // Every reply line of the server passes here too. A SIZE answer for a file just stored that is not the
    // size sent stops the command before the file is renamed to the page's name: the server lost part of it.
    static size_t header(char* data, size_t size, size_t count, void* self)
    {
        auto* transfer = static_cast<FtpTransfer*>(self);
        const size_t length = size * count;
        const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
        if (transfer->m_expectedSize >= 0 && transfer->m_lastSent.startsWith("SIZE ") && line.startsWith("213 ")) {
            bool number = false;
            const qint64 stored = line.mid(4).toLongLong(&number);
            if (number && stored != transfer->m_expectedSize) {
                transfer->m_sizeOnServer = stored;
                return 0;
            }
        }
        return length;
    }

    static int progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<FtpTransfer*>(self)->m_cancel.load() ? 1 : 0;
    }

    // Keeps the last command and reply of the FTP dialogue, to tell which command a server refused and why.
    // Nothing else of libcurl's verbose output is kept or shown.
    static int debug(CURL*, curl_infotype type, char* data, size_t size, void* self)
    {
        auto* transfer = static_cast<FtpTransfer*>(self);
        if (type == CURLINFO_HEADER_OUT) {
            QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
            if (line.startsWith("PASS"))
                line = "PASS";
            transfer->m_lastSent = line;
        } else if (type == CURLINFO_HEADER_IN) {
            transfer->m_lastReply = QByteArray(data, qsizetype(size)).trimmed();
        }
        return 0;
    }
};

FtpTransfer::FtpTransfer() : m_errorBuffer(CURL_ERROR_SIZE + 1, '\0'), m_sftp(std::make_unique<SftpSession>(m_cancel))
{
    initCurlOnce();
}

FtpTransfer::~FtpTransfer()
{
    Cancel();
    // A cancelled command ends within a second; no events are handled here, the owner is going away.
    while (m_job.isRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (m_curl)
        closeSession(false);
    m_sftp.reset();
}

int FtpTransfer::setURL(const QString& url)
{
    if (!FtpEndpoint::parse(url))
        return InvalidUrlError;
    m_url = url;
    return 0;
}

int FtpTransfer::setUserName(const QString& userName)
{
    m_userName = userName;
    return 0;
}

int FtpTransfer::setPassword(const QString& password)
{
    m_password = password;
    return 0;
}

bool FtpTransfer::splitPutArguments(const QString& arguments, QString& local, QString& remote)
{
    static const QRegularExpression workFileEnd(QStringLiteral("\\$\\$\\d+ "));
    QString firstLocal;
    QString firstRemote;
    for (auto it = workFileEnd.globalMatch(arguments); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString candidate = arguments.left(match.capturedEnd() - 1);
        const QString rest = arguments.mid(match.capturedEnd());
        if (QFile::exists(candidate)) {
            local = candidate;
            remote = rest;
            return true;
        }
        if (firstLocal.isEmpty()) {
            firstLocal = candidate;
            firstRemote = rest;
        }
    }
    if (!firstLocal.isEmpty()) {
        local = firstLocal;
        remote = firstRemote;
        return true;
    }
    const qsizetype blank = arguments.indexOf(QLatin1Char(' '));
    if (blank <= 0)
        return false;
    local = arguments.left(blank);
    remote = arguments.mid(blank + 1);
    return true;
}

int FtpTransfer::Execute(const QString& command)
{
    if (m_job.isRunning())
        return StillExecutingError;
    const qsizetype blank = command.indexOf(QLatin1Char(' '));
    const QString verb = (blank < 0 ? command : command.left(blank)).toUpper();
    const QString arguments = blank < 0 ? QString() : command.mid(blank + 1);
    Command parsed;
    parsed.argument = arguments;
    if (verb == QLatin1String("CD")) {
        parsed.kind = Command::Cd;
    } else if (verb == QLatin1String("PUT")) {
        parsed.kind = Command::Put;
        if (!splitPutArguments(arguments, parsed.local, parsed.argument))
            return InvalidCommandError;
    } else if (verb != QLatin1String("QUIT") || !arguments.isEmpty()) {
        return InvalidCommandError;
    }
    if (m_url.isEmpty() && parsed.kind != Command::Quit)
        return InvalidUrlError;
    parsed.endpoint = FtpEndpoint::parse(m_url);
    parsed.userName = m_userName;
    parsed.password = m_password;
    parsed.timeouts = m_timeouts;
    parsed.remoteCodec = m_remoteCodec;
    parsed.replacement = m_replacement;
    m_cancel.store(false);
    m_result.store(0);
    m_storing.store(parsed.kind == Command::Put);
    {
        std::lock_guard lock(m_textMutex);
        m_refusedIdentity = {};
    }
    m_job.start([this, parsed] { run(parsed); });
    return 0;
}

int FtpTransfer::StillExecuting(bool& executing)
{
    executing = m_job.isRunning();
    if (executing)
        return 0;
    return m_result.exchange(0);
}

int FtpTransfer::Cancel()
{
    m_cancel.store(true);
    shutdownSockets();
    // A running command sees the flag and closes the session itself.
    if (!m_job.isRunning() && m_curl)
        closeSession(false);
    if (!m_job.isRunning())
        m_sftp->close();
    return 0;
}

TransferFailure FtpTransfer::lastFailure() const
{
    std::lock_guard lock(m_textMutex);
    return m_lastFailure;
}

ServerIdentity FtpTransfer::refusedIdentity() const
{
    std::lock_guard lock(m_textMutex);
    return m_refusedIdentity;
}

void FtpTransfer::run(const Command& command)
{
    int result = perform(command);
    if (m_cancel.load()) {
        if (m_curl)
            closeSession(false);
        if (result != 0)
            result = CancelledError;
    } else if (result != 0) {
        const QString verb = command.kind == Command::Cd    ? QStringLiteral("CD ") + command.argument
                             : command.kind == Command::Put ? QStringLiteral("PUT ") + command.argument
                                                            : QStringLiteral("QUIT");
        const QString server = command.endpoint ? QString::fromUtf8(command.endpoint->serverKey) : QString();
        const TransferFailure failure = lastFailure();
        const QString line = QStringLiteral("FTP失敗 %1 (%2) %3: %4")
                                  .arg(server, verb, TransferFailure::stageName(failure.stage), failure.fullText());
        qWarning().noquote() << line.simplified();
    }
    m_result.store(result);
}

int FtpTransfer::perform(const Command& command)
{
    if (!command.endpoint) {
        if (command.kind == Command::Quit && !m_curl)
            return 0;
        std::lock_guard lock(m_textMutex);
        m_lastFailure = {TransferFailure::Stage::Connect, QStringLiteral("サーバー名が正しくありません"), {}, {}};
        return InvalidUrlError;
    }
    const FtpEndpoint& endpoint = *command.endpoint;
    const QString userName = command.userName.isEmpty() ? endpoint.urlUser : command.userName;
    const QString password = command.password.isEmpty() ? endpoint.urlPassword : command.password;
    if (endpoint.isSftp())
        return performSftp(command, userName, password);
    const QByteArray sessionKey =
        endpoint.serverKey + '\0' + endpoint.basePath + '\0' + userName.toUtf8() + '\0' + password.toUtf8();
    if (m_curl && sessionKey != m_sessionKey)
        closeSession(true);
    if (!m_curl) {
        if (command.kind == Command::Quit)
            return 0; // nothing open, nothing to end
        m_sessionKey = sessionKey;
        m_endpoint = endpoint;
        m_sessionUser = userName;
        m_activePassword = password;
        if (!openSession())
            return CurlErrorBase + CURLE_FAILED_INIT;
    }
    prepareCommand(command.timeouts);
    {
        std::lock_guard lock(m_textMutex);
        m_lastFailure = {};
    }
    const CodePage remoteCodec(command.remoteCodec);
    switch (command.kind) {
    case Command::Cd: {
        const QByteArray folder = remoteCodec.encode(command.argument);
        if (folder.startsWith('/'))
            m_folder = {true, {}};
        for (const QByteArray& segment : folder.split('/')) {
            if (!segment.isEmpty())
                m_folder.segments << segment;
        }
        // Nothing is sent yet: the upload that follows logs in and changes folder itself, and a refusal of
        // either shows there with its stage. (A request of its own without a body, followed by the upload on
        // the same connection, makes libcurl wait a whole second after EPSV now and then.)
        return 0;
    }
    case Command::Put:
        return store(command, remoteCodec.encode(command.argument));
    case Command::Quit: {
        // QUIT sent as a command of its own on the session's connection (the same path, so no CWD comes
        // before it), so that a server that does not answer it is noticed; closing the handle alone would
        // swallow that.
        const int result = afterwards({"QUIT"}, CommandsAt::BeforeChangingFolder);
        closeSession(false);
        return result;
    }
    }
    return InvalidCommandError;
}

// A new easy handle for the session's endpoint and login; prepareCommand() sets what each command needs.
bool FtpTransfer::openSession()
{
    CURL* created = curl_easy_init();
    if (!created)
        return false;
    m_curl = created;
    m_folder = {};
    curl_easy_setopt(created, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(created, CURLOPT_ERRORBUFFER, m_errorBuffer.data());
    curl_easy_setopt(created, CURLOPT_OPENSOCKETFUNCTION, &FtpCallbacks::openSocket);
    curl_easy_setopt(created, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(created, CURLOPT_CLOSESOCKETFUNCTION, &FtpCallbacks::closeSocket);
    curl_easy_setopt(created, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(created, CURLOPT_XFERINFOFUNCTION, &FtpCallbacks::progress);
    curl_easy_setopt(created, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(created, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(created, CURLOPT_HEADERFUNCTION, &FtpCallbacks::header);
    curl_easy_setopt(created, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(created, CURLOPT_DEBUGFUNCTION, &FtpCallbacks::debug);
    curl_easy_setopt(created, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(created, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(created, CURLOPT_TCP_KEEPALIVE, 1L);
    // Folders as the user wrote them: ".." and "." are the server's to resolve, CWD by CWD.
    curl_easy_setopt(created, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(created, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_MULTICWD));
    m_endpoint.applyTo(created);
    applyTlsCeiling();
    if (!m_sessionUser.isEmpty())
        curl_easy_setopt(created, CURLOPT_USERNAME, m_sessionUser.toUtf8().constData());
    if (!m_activePassword.isEmpty())
        curl_easy_setopt(created, CURLOPT_PASSWORD, m_activePassword.toUtf8().constData());
    return true;
}

// The command's waits, and nothing left over from the request before.
void FtpTransfer::prepareCommand(const Timeouts& timeouts)
{
    CURL* curl = static_cast<CURL*>(m_curl);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(timeouts.connectMs));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(timeouts.responseSeconds));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, long(timeouts.lowSpeedBytes));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(timeouts.lowSpeedSeconds));
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    // What the user trusts may have grown since the last command (a certificate trusted in the window).
    if (m_endpoint.usesTls())
        m_tlsCheck.attach(curl, QString::fromUtf8(m_endpoint.serverKey.left(m_endpoint.serverKey.indexOf("://"))),
                          m_endpoint.host, m_endpoint.port);
}

int FtpTransfer::performSftp(const Command& command, const QString& userName, const QString& password)
{
    m_sftp->use(*command.endpoint, userName, password, command.timeouts);
    const QByteArray argument = CodePage(command.remoteCodec).encode(command.argument);
    const TransferFailure failure = command.kind == Command::Cd ? m_sftp->changeFolder(argument)
                                    : command.kind == Command::Put
                                        ? m_sftp->store(command.local, argument, command.replacement)
                                        : m_sftp->quit();
    {
        std::lock_guard lock(m_textMutex);
        m_lastFailure = failure;
        m_refusedIdentity = failure.stage == TransferFailure::Stage::HostKey ? m_sftp->refusedIdentity() : ServerIdentity();
    }
    return SftpSession::failureNumber(failure);
}

void FtpTransfer::closeSession(bool polite)
{
    if (!polite)
        shutdownSockets();
    curl_easy_cleanup(static_cast<CURL*>(m_curl));
    m_curl = nullptr;
    m_folder = {};
    m_sessionKey.clear();
}

void FtpTransfer::shutdownSockets()
{
    m_sftp->interrupt();
    std::lock_guard lock(m_socketsMutex);
    for (const int socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}
