#include "platform/ftp_transfer.h"

#include "platform/code_page.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>

#include <curl/curl.h>

#include <algorithm>
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

// The local file of one store, and whether any of it was asked for (the remote file then exists).
struct Upload
{
    QFile file;
    bool& started;
};

size_t readFromFile(char* buffer, size_t size, size_t count, void* data)
{
    auto* upload = static_cast<Upload*>(data);
    upload->started = true;
    const qint64 got = upload->file.read(buffer, qint64(size * count));
    return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
}

// Servers (scheme, host, port) that refused to rename during this run of the program.
std::mutex renameRefusersMutex;
std::set<QByteArray> renameRefusers;

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
    } else if (result != 0) {
        const QString verb = command.kind == Command::Cd    ? QStringLiteral("CD ") + command.argument
                             : command.kind == Command::Put ? QStringLiteral("PUT ") + command.argument
                                                            : QStringLiteral("QUIT");
        const QString server = command.endpoint ? QString::fromUtf8(command.endpoint->serverKey) : QString();
        const QString line = QStringLiteral("FTP失敗 %1 (%2): %3").arg(server, verb, lastErrorText());
        qWarning().noquote() << line.simplified();
    }
    m_result.store(result);
}

QByteArray FtpTransfer::folderUrl() const
{
    QList<QByteArray> parts;
    if (m_folder.fromRoot) {
        // "%2F" makes libcurl send "CWD /" first; an SFTP path is from the root as it stands.
        if (!m_endpoint.isSftp())
            parts << "%2F";
    } else if (!m_endpoint.basePath.isEmpty()) {
        parts << encodePath(m_endpoint.basePath);
    } else if (m_endpoint.isSftp()) {
        parts << "~"; // libcurl's name for the login folder
    }
    for (const QByteArray& segment : m_folder.segments)
        parts << encodePath(segment);
    QByteArray url = m_endpoint.curlUrl + parts.join('/');
    if (!parts.isEmpty())
        url += '/';
    return url;
}

// An SFTP path for libcurl's quote commands, which take no "~": relative paths are the login folder's.
QByteArray FtpTransfer::quotedPath(const QByteArray& name) const
{
    QList<QByteArray> parts;
    if (m_folder.fromRoot) {
        parts << QByteArray();
    } else if (m_endpoint.basePath == "~" || m_endpoint.basePath.startsWith("~/")) {
        if (m_endpoint.basePath.size() > 2)
            parts << m_endpoint.basePath.mid(2);
    } else if (!m_endpoint.basePath.isEmpty()) {
        parts << QByteArray() << m_endpoint.basePath;
    }
    parts << m_folder.segments << name;
    QByteArray path = parts.join('/');
    path.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + path + '"';
}

QList<QByteArray> FtpTransfer::renameCommands(const QByteArray& from, const QByteArray& to) const
{
    if (m_endpoint.isSftp())
        return {"rename " + quotedPath(from) + ' ' + quotedPath(to)};
    // The commands run in the page's folder, where CWD has led.
    return {"RNFR " + from.mid(from.lastIndexOf('/') + 1), "RNTO " + to.mid(to.lastIndexOf('/') + 1)};
}

QByteArray FtpTransfer::removeCommand(const QByteArray& name, bool mayFail) const
{
    const QByteArray ignoreFailure = mayFail ? "*" : "";
    if (m_endpoint.isSftp())
        return ignoreFailure + "rm " + quotedPath(name);
    return ignoreFailure + "DELE " + name.mid(name.lastIndexOf('/') + 1);
}

void FtpTransfer::noteFailure(int code)
{
    QString text = QString::fromUtf8(m_errorBuffer.constData());
    if (text.isEmpty())
        text = QString::fromUtf8(curl_easy_strerror(CURLcode(code)));
    // A reply that refuses says what the server objected to (a 4xx or 5xx line).
    if (!m_endpoint.isSftp() && (m_lastReply.startsWith('4') || m_lastReply.startsWith('5')))
        text += QStringLiteral(" (サーバーの応答: %1)").arg(QString::fromUtf8(m_lastReply));
    std::lock_guard lock(m_textMutex);
    m_lastErrorText = text;
}

// Stores the local file under `name` in the current folder, then sends `after` on success.
int FtpTransfer::storeFile(const QString& local, const QByteArray& name, const QList<QByteArray>& after)
{
    CURL* curl = static_cast<CURL*>(m_curl);
    m_dataSent = false;
    Upload upload{QFile(local), m_dataSent};
    if (!upload.file.open(QIODevice::ReadOnly)) {
        std::lock_guard lock(m_textMutex);
        m_lastErrorText = upload.file.errorString();
        return LocalFileError;
    }
    curl_slist* commands = nullptr;
    for (const QByteArray& command : after)
        commands = curl_slist_append(commands, command.constData());
    const QByteArray url = folderUrl() + encodePath(name);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(upload.file.size()));
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, commands);
    m_errorBuffer.fill('\0');
    m_lastReply.clear();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_slist_free_all(commands);
    if (code == CURLE_OK)
        return 0;
    noteFailure(code);
    return CurlErrorBase + int(code);
}

// Sends commands in the current folder, after any CWD it takes to get there.
int FtpTransfer::afterwards(const QList<QByteArray>& commands)
{
    CURL* curl = static_cast<CURL*>(m_curl);
    curl_slist* list = nullptr;
    for (const QByteArray& command : commands)
        list = curl_slist_append(list, command.constData());
    const QByteArray url = folderUrl();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, list);
    m_errorBuffer.fill('\0');
    m_lastReply.clear();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    curl_slist_free_all(list);
    if (code == CURLE_OK)
        return 0;
    noteFailure(code);
    return CurlErrorBase + int(code);
}

// The one place that decides how a page reaches its name, and what to do when a server will not rename.
int FtpTransfer::store(const Command& command, const QByteArray& name)
{
    const QByteArray leaf = name.mid(name.lastIndexOf('/') + 1);
    if (leaf.isEmpty() || command.replacement == Replacement::Direct ||
        replacementFor(m_endpoint.serverKey) == Replacement::Direct)
        return storeFile(command.local, name, {});
    const QByteArray temporary = name + TemporarySuffix;
    const auto rememberRefusal = [this] {
        std::lock_guard lock(renameRefusersMutex);
        renameRefusers.insert(m_endpoint.serverKey);
    };
    const auto storeDirectly = [&] { return storeFile(command.local, name, {removeCommand(temporary, true)}); };

    int result = storeFile(command.local, temporary, renameCommands(temporary, name));
    const bool temporaryWritten = m_dataSent;
    if (result == CurlErrorBase + CURLE_QUOTE_ERROR && !m_cancel.load()) {
        if (m_endpoint.isSftp()) {
            // SFTP version 3 (libssh2's) has no rename over an existing file: remove the old page first.
            result = afterwards({removeCommand(name, false)});
            if (result == 0 && !m_cancel.load()) {
                result = afterwards(renameCommands(temporary, name));
                if (result != 0 && !m_cancel.load()) {
                    rememberRefusal();
                    result = storeDirectly();
                }
            }
        } else {
            const int reply = m_lastReply.left(3).toInt();
            if (m_lastSent.startsWith("RNFR") && (reply == 500 || reply == 502)) {
                rememberRefusal();
                result = storeDirectly();
            } else if (m_lastSent.startsWith("RNTO") && reply == 550) {
                // Windows servers will not rename over an existing file.
                result = afterwards(QList<QByteArray>{removeCommand(name, false)} + renameCommands(temporary, name));
                if (result != 0 && !m_lastSent.startsWith("DELE") && !m_cancel.load())
                    result = storeDirectly(); // the old page is gone: the new one must stand all the same
            }
        }
    }
    if (result != 0 && temporaryWritten)
        removeTemporary(command, temporary);
    return result;
}

// Where the server still allows it; the failure that brought us here stays the one reported.
void FtpTransfer::removeTemporary(const Command& command, const QByteArray& temporary)
{
    if (m_cancel.load() || !m_curl)
        return;
    CURL* curl = static_cast<CURL*>(m_curl);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(std::min(command.timeouts.connectMs, 5000)));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(std::min(command.timeouts.responseSeconds, 5)));
    const QString reason = lastErrorText();
    afterwards({removeCommand(temporary, true)});
    std::lock_guard lock(m_textMutex);
    m_lastErrorText = reason;
}

FtpTransfer::Replacement FtpTransfer::replacementFor(const QByteArray& serverKey)
{
    std::lock_guard lock(renameRefusersMutex);
    return renameRefusers.count(serverKey) ? Replacement::Direct : Replacement::ViaTemporaryName;
}

int FtpTransfer::perform(const Command& command)
{
    if (!command.endpoint)
        return command.kind == Command::Quit && !m_curl ? 0 : InvalidUrlError;
    const FtpEndpoint& endpoint = *command.endpoint;
    const QString userName = command.userName.isEmpty() ? endpoint.urlUser : command.userName;
    const QString password = command.password.isEmpty() ? endpoint.urlPassword : command.password;
    const QByteArray sessionKey =
        endpoint.serverKey + '\0' + endpoint.basePath + '\0' + userName.toUtf8() + '\0' + password.toUtf8();
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
        m_endpoint = endpoint;
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
        curl_easy_setopt(created, CURLOPT_DEBUGFUNCTION, &FtpCallbacks::debug);
        curl_easy_setopt(created, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(created, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(created, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(created, CURLOPT_READFUNCTION, &readFromFile);
        // Folders as the user wrote them: ".." and "." are the server's to resolve, CWD by CWD.
        curl_easy_setopt(created, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(created, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_MULTICWD));
        endpoint.applyTo(created);
        if (!userName.isEmpty())
            curl_easy_setopt(created, CURLOPT_USERNAME, userName.toUtf8().constData());
        if (!password.isEmpty())
            curl_easy_setopt(created, CURLOPT_PASSWORD, password.toUtf8().constData());
    }
    CURL* curl = static_cast<CURL*>(m_curl);
    const Timeouts& timeouts = command.timeouts;
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(timeouts.connectMs));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(timeouts.responseSeconds));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, long(timeouts.lowSpeedBytes));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(timeouts.lowSpeedSeconds));
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);

    const CodePage remoteCodec(command.remoteCodec);
    switch (command.kind) {
    case Command::Cd: {
        const RemoteFolder previous = m_folder;
        const QByteArray folder = remoteCodec.encode(command.argument);
        if (folder.startsWith('/'))
            m_folder = {true, {}};
        for (const QByteArray& segment : folder.split('/')) {
            if (!segment.isEmpty())
                m_folder.segments << segment;
        }
        // A request without a body changes into the folder (and logs in), so a refusal shows here.
        const int result = afterwards({});
        if (result != 0)
            m_folder = previous;
        return result;
    }
    case Command::Put:
        return store(command, remoteCodec.encode(command.argument));
    case Command::Quit: {
        int result = 0;
        if (!m_endpoint.isSftp()) {
            // QUIT sent as a command of its own on the session's connection (the same path, so no CWD comes
            // before it), so that a server that does not answer it is noticed; closing the handle alone
            // would swallow that.
            curl_slist* quit = curl_slist_append(nullptr, "QUIT");
            const QByteArray url = folderUrl();
            curl_easy_setopt(curl, CURLOPT_URL, url.constData());
            curl_easy_setopt(curl, CURLOPT_QUOTE, quit);
            m_errorBuffer.fill('\0');
            m_lastReply.clear();
            const CURLcode code = curl_easy_perform(curl);
            curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
            curl_slist_free_all(quit);
            if (code != CURLE_OK) {
                noteFailure(code);
                result = CurlErrorBase + int(code);
            }
        }
        closeSession(m_endpoint.isSftp());
        return result;
    }
    }
    return InvalidCommandError;
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
    std::lock_guard lock(m_socketsMutex);
    for (const int socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}
