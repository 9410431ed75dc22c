#include "platform/ftp_transfer.h"

#include "platform/code_page.h"

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

bool libcurlSupports(const QByteArray& scheme)
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    for (const char* const* protocol = info->protocols; protocol && *protocol; ++protocol) {
        if (scheme.compare(*protocol, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Percent-encodes every segment of a remote path; "/" stays the separator.
QByteArray encodePath(const QByteArray& path)
{
    QByteArray encoded;
    const QList<QByteArray> segments = path.split('/');
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0)
            encoded += '/';
        for (const char byte : segments[i]) {
            const auto value = static_cast<unsigned char>(byte);
            if ((value >= '0' && value <= '9') || (value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z') ||
                byte == '-' || byte == '.' || byte == '_' || byte == '~') {
                encoded += byte;
            } else {
                static const char hex[] = "0123456789ABCDEF";
                encoded += '%';
                encoded += hex[value >> 4];
                encoded += hex[value & 0xF];
            }
        }
    }
    return encoded;
}

size_t readFromFile(char* buffer, size_t size, size_t count, void* file)
{
    const qint64 got = static_cast<QFile*>(file)->read(buffer, qint64(size * count));
    return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
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

    static int progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<FtpTransfer*>(self)->m_cancel.load() ? 1 : 0;
    }
};

FtpTransfer::FtpTransfer() : m_errorBuffer(CURL_ERROR_SIZE + 1, '\0')
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
}

int FtpTransfer::setURL(const QString& url)
{
    CURLU* parsed = curl_url();
    const QByteArray bytes = url.toUtf8();
    bool valid = curl_url_set(parsed, CURLUPART_URL, bytes.constData(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
    char* scheme = nullptr;
    char* host = nullptr;
    valid = valid && curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && *host;
    const QByteArray schemeName = scheme ? QByteArray(scheme) : QByteArray();
    curl_free(scheme);
    curl_free(host);
    curl_url_cleanup(parsed);
    valid =
        valid && (schemeName == "ftp" || schemeName == "ftps" || schemeName == "sftp") && libcurlSupports(schemeName);
    if (!valid)
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
    Command parsed{Command::Quit, arguments, {}};
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
    m_cancel.store(false);
    m_result.store(0);
    m_storing.store(parsed.kind == Command::Put);
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
    return 0;
}

QString FtpTransfer::lastErrorText() const
{
    std::lock_guard lock(m_textMutex);
    return m_lastErrorText;
}

void FtpTransfer::run(const Command& command)
{
    int result = perform(command);
    if (m_cancel.load()) {
        if (m_curl)
            closeSession(false);
        if (result != 0)
            result = CancelledError;
    }
    m_result.store(result);
}

QByteArray FtpTransfer::directoryUrl() const
{
    QByteArray url = m_url.toUtf8();
    while (url.endsWith('/'))
        url.chop(1);
    url += '/';
    if (!m_directory.isEmpty())
        url += m_directory + '/';
    return url;
}

int FtpTransfer::perform(const Command& command)
{
    const QByteArray sessionKey = m_url.toUtf8() + '\0' + m_userName.toUtf8() + '\0' + m_password.toUtf8();
    if (m_curl && sessionKey != m_sessionKey)
        closeSession(true);
    if (!m_curl) {
        if (command.kind == Command::Quit)
            return 0; // nothing open, nothing to end
        CURL* created = curl_easy_init();
        if (!created)
            return CurlErrorBase + CURLE_FAILED_INIT;
        m_curl = created;
        m_sessionKey = sessionKey;
        m_directory.clear();
        curl_easy_setopt(created, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(created, CURLOPT_ERRORBUFFER, m_errorBuffer.data());
        curl_easy_setopt(created, CURLOPT_OPENSOCKETFUNCTION, &FtpCallbacks::openSocket);
        curl_easy_setopt(created, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(created, CURLOPT_CLOSESOCKETFUNCTION, &FtpCallbacks::closeSocket);
        curl_easy_setopt(created, CURLOPT_CLOSESOCKETDATA, this);
        curl_easy_setopt(created, CURLOPT_XFERINFOFUNCTION, &FtpCallbacks::progress);
        curl_easy_setopt(created, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(created, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(created, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(created, CURLOPT_READFUNCTION, &readFromFile);
        if (!m_userName.isEmpty())
            curl_easy_setopt(created, CURLOPT_USERNAME, m_userName.toUtf8().constData());
        if (!m_password.isEmpty())
            curl_easy_setopt(created, CURLOPT_PASSWORD, m_password.toUtf8().constData());
    }
    CURL* curl = static_cast<CURL*>(m_curl);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(m_timeouts.connectMs));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(m_timeouts.responseSeconds));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, long(m_timeouts.lowSpeedBytes));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(m_timeouts.lowSpeedSeconds));
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    m_errorBuffer.fill('\0');

    const bool isSftp = m_url.startsWith(QLatin1String("sftp:"), Qt::CaseInsensitive);
    const CodePage remoteCodec(m_remoteCodec);
    CURLcode code = CURLE_OK;
    QByteArray url;
    switch (command.kind) {
    case Command::Cd: {
        const QByteArray previous = m_directory;
        QByteArray directory = remoteCodec.encode(command.argument);
        while (directory.endsWith('/'))
            directory.chop(1);
        if (directory.startsWith('/'))
            m_directory = "%2F" + encodePath(directory.mid(1));
        else if (!directory.isEmpty())
            m_directory = m_directory.isEmpty() ? encodePath(directory) : m_directory + '/' + encodePath(directory);
        // A request without a body changes into the directory (and logs in), so a refusal shows here.
        url = directoryUrl();
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        code = curl_easy_perform(curl);
        if (code != CURLE_OK)
            m_directory = previous;
        break;
    }
    case Command::Put: {
        QFile file(command.local);
        if (!file.open(QIODevice::ReadOnly)) {
            std::lock_guard lock(m_textMutex);
            m_lastErrorText = file.errorString();
            return LocalFileError;
        }
        url = directoryUrl() + encodePath(remoteCodec.encode(command.argument));
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READDATA, &file);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
        code = curl_easy_perform(curl);
        curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
        break;
    }
    case Command::Quit: {
        if (!isSftp) {
            // QUIT sent as a command of its own on the session's connection (the same path, so no CWD comes
            // before it), so that a server that does not answer it is noticed; closing the handle alone
            // would swallow that.
            curl_slist* quit = curl_slist_append(nullptr, "QUIT");
            url = directoryUrl();
            curl_easy_setopt(curl, CURLOPT_URL, url.constData());
            curl_easy_setopt(curl, CURLOPT_QUOTE, quit);
            code = curl_easy_perform(curl);
            curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
            curl_slist_free_all(quit);
        }
        closeSession(!isSftp ? false : true);
        break;
    }
    }
    if (code == CURLE_OK)
        return 0;
    std::lock_guard lock(m_textMutex);
    m_lastErrorText = QString::fromUtf8(m_errorBuffer.constData());
    if (m_lastErrorText.isEmpty())
        m_lastErrorText = QString::fromUtf8(curl_easy_strerror(code));
    return CurlErrorBase + int(code);
}

void FtpTransfer::closeSession(bool polite)
{
    if (!polite)
        shutdownSockets();
    curl_easy_cleanup(static_cast<CURL*>(m_curl));
    m_curl = nullptr;
    m_directory.clear();
    m_sessionKey.clear();
}

void FtpTransfer::shutdownSockets()
{
    std::lock_guard lock(m_socketsMutex);
    for (const int socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}
