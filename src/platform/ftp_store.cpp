// FtpTransfer's way of putting a page under its name: the folder "CD" has led to, the store under a
// temporary name, the rename over the old page, and what to do when a server will not rename.
#include "platform/ftp_transfer.h"

#include <QFile>

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <set>

namespace {

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

QByteArray FtpTransfer::folderUrl() const
{
    QList<QByteArray> parts;
    if (m_folder.fromRoot)
        parts << "%2F"; // libcurl sends "CWD /" first
    else if (!m_endpoint.basePath.isEmpty())
        parts << encodePath(m_endpoint.basePath);
    for (const QByteArray& segment : m_folder.segments)
        parts << encodePath(segment);
    QByteArray url = m_endpoint.curlUrl + parts.join('/');
    if (!parts.isEmpty())
        url += '/';
    return url;
}

QList<QByteArray> FtpTransfer::renameCommands(const QByteArray& from, const QByteArray& to) const
{
    // The commands run in the page's folder, where CWD has led.
    return {"RNFR " + from.mid(from.lastIndexOf('/') + 1), "RNTO " + to.mid(to.lastIndexOf('/') + 1)};
}

QByteArray FtpTransfer::removeCommand(const QByteArray& name, bool mayFail) const
{
    const QByteArray ignoreFailure = mayFail ? "*" : "";
    return ignoreFailure + "DELE " + name.mid(name.lastIndexOf('/') + 1);
}

void FtpTransfer::noteFailure(int code)
{
    QString text = QString::fromUtf8(m_errorBuffer.constData());
    if (text.isEmpty())
        text = QString::fromUtf8(curl_easy_strerror(CURLcode(code)));
    // A reply that refuses says what the server objected to (a 4xx or 5xx line).
    if (m_lastReply.startsWith('4') || m_lastReply.startsWith('5'))
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
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &readFromFile);
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

// Sends commands on the session's connection in the current folder, after any CWD it takes to get there (or
// before it, for a command that needs no folder).
int FtpTransfer::afterwards(const QList<QByteArray>& commands, CommandsAt at)
{
    const CURLoption option = at == CommandsAt::AfterChangingFolder ? CURLOPT_POSTQUOTE : CURLOPT_QUOTE;
    CURL* curl = static_cast<CURL*>(m_curl);
    curl_slist* list = nullptr;
    for (const QByteArray& command : commands)
        list = curl_slist_append(list, command.constData());
    const QByteArray url = folderUrl();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, option, list);
    m_errorBuffer.fill('\0');
    m_lastReply.clear();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, option, nullptr);
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
    const auto rememberRefusal = [this] { rememberRenameRefusal(m_endpoint.serverKey); };
    const auto storeDirectly = [&] { return storeFile(command.local, name, {removeCommand(temporary, true)}); };

    int result = storeFile(command.local, temporary, renameCommands(temporary, name));
    const bool temporaryWritten = m_dataSent;
    if (result == CurlErrorBase + CURLE_QUOTE_ERROR && !m_cancel.load()) {
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

void FtpTransfer::rememberRenameRefusal(const QByteArray& serverKey)
{
    std::lock_guard lock(renameRefusersMutex);
    renameRefusers.insert(serverKey);
}
