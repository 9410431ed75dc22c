// FtpTransfer's way of putting a page under its name: the folder "CD" has led to, the store under a
// temporary name, the rename over the old page, and what to do when a server will not rename.
#include "platform/ftp_transfer.h"

#include <QDebug>
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

curl_slist* commandList(const QList<QByteArray>& commands)
{
    curl_slist* list = nullptr;
    for (const QByteArray& command : commands)
        list = curl_slist_append(list, command.constData());
    return list;
}

size_t readFromFile(char* buffer, size_t size, size_t count, void* data)
{
    auto* upload = static_cast<Upload*>(data);
    upload->started = true;
    const qint64 got = upload->file.read(buffer, qint64(size * count));
    return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
}

// What this run of the program has learnt about servers (scheme, host, port): those that refused to rename,
// and those whose TLS data connections break above TLS 1.2.
std::mutex serverMemoryMutex;
std::set<QByteArray> renameRefusers;
std::set<QByteArray> tlsCeilingServers;

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

namespace {

using Stage = TransferFailure::Stage;

// The step a command of the FTP dialogue belongs to.
Stage stageOfCommand(const QByteArray& command)
{
    const qsizetype blank = command.indexOf(' ');
    const QByteArray verb = (blank < 0 ? command : command.left(blank)).toUpper();
    if (verb == "USER" || verb == "PASS" || verb == "ACCT")
        return Stage::Login;
    if (verb == "AUTH" || verb == "PBSZ" || verb == "PROT")
        return Stage::Tls;
    if (verb == "CWD" || verb == "PWD" || verb == "MKD")
        return Stage::Folder;
    if (verb == "RNFR" || verb == "RNTO" || verb == "DELE")
        return Stage::Rename;
    if (verb == "QUIT")
        return Stage::Logout;
    return Stage::Store; // TYPE, EPSV, PASV, PORT, STOR, SIZE and the data connection
}

QString reasonFor(Stage stage, CURLcode code, bool tls, const QByteArray& reply, bool tooSlow)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("サーバー名を解決できません");
    case CURLE_PARTIAL_FILE:
    case CURLE_UPLOAD_FAILED:
        // The server's final answer to the store: "452 Insufficient storage", "552 Quota exceeded" ...
        if (reply.startsWith("452") || reply.startsWith("552"))
            return QStringLiteral("サーバーの容量が足りません");
        if (reply.startsWith('4') || reply.startsWith('5'))
            return QStringLiteral("保存が拒否されました");
        return QStringLiteral("接続が切れました");
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("サーバーに接続できません");
    case CURLE_USE_SSL_FAILED:
        return QStringLiteral("サーバーが TLS を受け付けません");
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return QStringLiteral("サーバーの証明書を信頼できません");
    case CURLE_SSL_CONNECT_ERROR:
        return stage == Stage::Store ? QStringLiteral("データ接続の TLS を確立できません")
                                     : QStringLiteral("TLS を確立できません");
    case CURLE_LOGIN_DENIED:
        return QStringLiteral("ログインが拒否されました");
    case CURLE_REMOTE_FILE_NOT_FOUND:
        return QStringLiteral("フォルダーがありません");
    case CURLE_REMOTE_DISK_FULL:
        return QStringLiteral("サーバーの容量が足りません");
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
        return tls ? QStringLiteral("データ接続の TLS を確立できません")
                   : QStringLiteral("データ接続を開けません");
    case CURLE_OPERATION_TIMEDOUT:
        if (tooSlow)
            return QStringLiteral("転送が遅すぎるため中止しました");
        if (stage == Stage::Connect)
            return tls ? QStringLiteral("サーバーが応答しません")
                       : QStringLiteral("サーバーが応答しません (TLS 専用のサーバーかもしれません)");
        return TransferFailure::stageName(stage) + QStringLiteral("の応答がありません (時間切れ)");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return QStringLiteral("接続が切れました");
    default:
        break;
    }
    switch (stage) {
    case Stage::Connect:
        return QStringLiteral("サーバーに接続できません");
    case Stage::Tls:
        return QStringLiteral("TLS を確立できません");
    case Stage::Login:
        return QStringLiteral("ログインが拒否されました");
    case Stage::Folder:
        return QStringLiteral("フォルダーに移動できません");
    case Stage::Rename:
        return QStringLiteral("名前の変更が拒否されました");
    case Stage::Logout:
        return QStringLiteral("切断に失敗しました");
    default:
        return QStringLiteral("保存に失敗しました");
    }
}

} // namespace

void FtpTransfer::noteFailure(int code)
{
    const auto curlCode = CURLcode(code);
    TransferFailure failure;
    failure.detail = TransferFailure::printableReply(m_errorBuffer.constData(), m_activePassword);
    if (failure.detail.isEmpty())
        failure.detail = QString::fromUtf8(curl_easy_strerror(curlCode));
    const bool tls = m_endpoint.usesTls();
    {
        // Nothing sent yet: the connection, its TLS (implicit), or the greeting failed.
        Stage stage = m_lastSent.isEmpty() ? Stage::Connect : stageOfCommand(m_lastSent);
        // A failure after STOR (or EPSV) was sent is one of the data connection.
        const bool dataConnection = stage == Stage::Store;
        switch (curlCode) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            stage = Stage::Connect;
            break;
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_CONNECT_ERROR:
            if (!dataConnection)
                stage = Stage::Tls;
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            stage = Stage::Tls;
            break;
        case CURLE_LOGIN_DENIED:
            stage = Stage::Login;
            break;
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_ACCEPT_FAILED:
            break; // the data connection's: its reason names TLS where the connection is encrypted
        default:
            break;
        }
        failure.stage = stage;
        // libcurl gives one code for both a silent server and the low-speed limit.
        const bool tooSlow = failure.detail.startsWith(QLatin1String("Operation too slow"));
        failure.reason = reasonFor(stage, curlCode, tls, m_lastReply, tooSlow);
        // A reply that refuses says what the server objected to (a 4xx or 5xx line).
        if (m_lastReply.startsWith('4') || m_lastReply.startsWith('5'))
            failure.reply = TransferFailure::printableReply(m_lastReply, m_activePassword);
    }
    // A certificate refused: what the server showed, fetched again by a probe that sends no login where the
    // refusing handshake was libcurl's alone.
    ServerIdentity identity;
    if (curlCode == CURLE_PEER_FAILED_VERIFICATION && !m_cancel.load()) {
        identity = m_tlsCheck.identity();
        if (!identity.isSet()) {
            if (CURL* probe = curl_easy_init()) {
                curl_easy_setopt(probe, CURLOPT_URL, m_endpoint.curlUrl.constData());
                m_endpoint.applyTo(probe);
                identity = TlsPeerCheck::probe(probe, QString::fromUtf8(m_endpoint.serverKey.left(m_endpoint.serverKey.indexOf("://"))),
                                               m_endpoint.host, m_endpoint.port, TlsPeerCheck::ProbeLimitMs);
                curl_easy_cleanup(probe);
            }
        }
    }
    std::lock_guard lock(m_textMutex);
    m_lastFailure = failure;
    m_refusedIdentity = identity;
}

// Stores the local file under `name` in the current folder, sending `before` just before the store and `after`
// once it has succeeded.
int FtpTransfer::storeFile(const QString& local, const QByteArray& name, const QList<QByteArray>& before,
                           const QList<QByteArray>& after)
{
    CURL* curl = static_cast<CURL*>(m_curl);
    m_dataSent = false;
    Upload upload{QFile(local), m_dataSent};
    if (!upload.file.open(QIODevice::ReadOnly)) {
        std::lock_guard lock(m_textMutex);
        m_lastFailure = {TransferFailure::Stage::LocalFile, QStringLiteral("作業ファイルを読めません"), QString(),
                         upload.file.errorString()};
        return LocalFileError;
    }
    curl_slist* const beforeList = commandList(before);
    // Before anything else, the server is asked what arrived (a server without SIZE is taken at its word).
    curl_slist* const afterList = commandList(QList<QByteArray>{"*SIZE " + name.mid(name.lastIndexOf('/') + 1)} + after);
    m_expectedSize = upload.file.size();
    m_sizeOnServer = -1;
    const QByteArray url = folderUrl() + encodePath(name);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &readFromFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(upload.file.size()));
    curl_easy_setopt(curl, CURLOPT_PREQUOTE, beforeList);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, afterList);
    m_errorBuffer.fill('\0');
    m_lastReply.clear();
    m_lastSent.clear();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_PREQUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_slist_free_all(beforeList);
    curl_slist_free_all(afterList);
    m_expectedSize = -1;
    if (code == CURLE_OK)
        return 0;
    if (code == CURLE_WRITE_ERROR && m_sizeOnServer >= 0) {
        std::lock_guard lock(m_textMutex);
        m_lastFailure = {TransferFailure::Stage::Store,
                         QStringLiteral("サーバーに届いたファイルが不完全です: %1 バイト中 %2 バイト")
                             .arg(upload.file.size())
                             .arg(m_sizeOnServer),
                         TransferFailure::printableReply(m_lastReply, m_activePassword), QString()};
        return StoredIncompleteError;
    }
    noteFailure(code);
    return CurlErrorBase + int(code);
}

// Sends commands on the session's connection in the current folder, after any CWD it takes to get there (or
// before it, for a command that needs no folder).
int FtpTransfer::afterwards(const QList<QByteArray>& commands, CommandsAt at)
{
    const CURLoption option = at == CommandsAt::AfterChangingFolder ? CURLOPT_POSTQUOTE : CURLOPT_QUOTE;
    CURL* curl = static_cast<CURL*>(m_curl);
    curl_slist* const list = commandList(commands);
    const QByteArray url = folderUrl();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, option, list);
    m_errorBuffer.fill('\0');
    m_lastReply.clear();
    m_lastSent.clear();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, option, nullptr);
    curl_slist_free_all(list);
    if (code == CURLE_OK)
        return 0;
    noteFailure(code);
    return CurlErrorBase + int(code);
}

// The one place that decides how a page reaches its name, and what to do when a server will not rename or
// breaks a TLS data connection.
int FtpTransfer::store(const Command& command, const QByteArray& name)
{
    int result = storeOnce(command, name);
    // vsftpd drops TLS 1.3 data connections of larger pages ("426 Failure reading network stream"), others keep
    // a cut page and say 226 (the SIZE check finds it); the same page goes through with TLS 1.2 as the ceiling,
    // which this server then keeps until the program ends.
    if (result != 0 && m_dataConnectionBroken && m_endpoint.usesTls() && !m_cancel.load() &&
        !tlsCeilingFor(m_endpoint.serverKey)) {
        {
            std::lock_guard lock(serverMemoryMutex);
            tlsCeilingServers.insert(m_endpoint.serverKey);
        }
        qInfo().noquote() << QStringLiteral("FTP %1: データ接続が切れました (%2)。このサーバーには TLS 1.2 を上限として送り直します")
                                    .arg(QString::fromUtf8(m_endpoint.serverKey), lastFailure().reply);
        // On a new control connection: the data connections must reuse its TLS session, and one agreed
        // on TLS 1.3 cannot be.
        const RemoteFolder folder = m_folder;
        const QByteArray sessionKey = m_sessionKey;
        closeSession(false);
        if (!openSession())
            return CurlErrorBase + CURLE_FAILED_INIT;
        prepareCommand(command.timeouts);
        m_sessionKey = sessionKey;
        m_folder = folder;
        result = storeOnce(command, name);
    }
    return result;
}

int FtpTransfer::storeOnce(const Command& command, const QByteArray& name)
{
    m_dataConnectionBroken = false;
    const QByteArray leaf = name.mid(name.lastIndexOf('/') + 1);
    if (leaf.isEmpty() || command.replacement == Replacement::Direct ||
        replacementFor(m_endpoint.serverKey) == Replacement::Direct)
        return storeFile(command.local, name, {}, {});
    const QByteArray temporary = name + TemporarySuffix;
    const auto storeDirectly = [&] {
        rememberRenameRefusal(m_endpoint.serverKey);
        // The temporary file goes first: on a server near its quota it would stand in the page's way.
        return storeFile(command.local, name, {removeCommand(temporary, true)}, {});
    };

    int result = storeFile(command.local, temporary, {}, renameCommands(temporary, name));
    const bool temporaryWritten = m_dataSent;
    if (result == CurlErrorBase + CURLE_QUOTE_ERROR && !m_cancel.load()) {
        const int reply = m_lastReply.left(3).toInt();
        if (m_lastSent.startsWith("RNFR") && reply >= 500) {
            // A refusal to rename the very file just stored: this server does not rename.
            result = storeDirectly();
        } else if (m_lastSent.startsWith("RNTO") && reply >= 500) {
            result = renameOverRefused(name, temporary);
            if (result == RenameRefused && !m_cancel.load())
                result = storeDirectly();
        }
    } else if (result == StoredIncompleteError || (result != 0 && m_lastReply.startsWith("426"))) {
        // The end of the page lost on the way: both are seen where a TLS 1.3 data connection is closed under
        // the server's feet.
        m_dataConnectionBroken = true;
    }
    if (result != 0 && temporaryWritten)
        removeTemporary(command, temporary);
    return result;
}

// After RNTO onto the page's name was refused: some servers (Windows) will not rename over an existing file,
// others refuse RNTO altogether. The old page is never removed before the new one stands: it is renamed
// aside, the new one renamed in, and only then is the old one removed; when the new one cannot be renamed in,
// the old one is renamed back. RenameRefused when the server refuses renames altogether.
int FtpTransfer::renameOverRefused(const QByteArray& name, const QByteArray& temporary)
{
    const QByteArray aside = name + AsideSuffix;
    // A page left aside by an interrupted earlier run would stand in the way on such a server.
    int result = afterwards(QList<QByteArray>{removeCommand(aside, true)} + renameCommands(name, aside));
    if (m_cancel.load())
        return result;
    if (result == CurlErrorBase + CURLE_QUOTE_ERROR) {
        if (m_lastSent.startsWith("RNTO"))
            return RenameRefused; // the old page may stay where it is, but nothing may be renamed
        if (!m_lastSent.startsWith("RNFR"))
            return result;
        // No old page: a page that is not there needs no room made. A second refusal means no renames.
        result = afterwards(renameCommands(temporary, name));
        return result == CurlErrorBase + CURLE_QUOTE_ERROR && m_lastSent.startsWith("RNTO") ? RenameRefused : result;
    }
    if (result != 0)
        return result;
    result = afterwards(renameCommands(temporary, name));
    if (result == 0) {
        afterwards({removeCommand(aside, true)});
        return 0;
    }
    if (!m_cancel.load()) {
        // The old page goes back under its name; the refusal of the new one stays the failure reported.
        const TransferFailure refusal = lastFailure();
        afterwards(renameCommands(aside, name));
        std::lock_guard lock(m_textMutex);
        m_lastFailure = refusal;
    }
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
    const TransferFailure reason = lastFailure();
    afterwards({removeCommand(temporary, true)});
    std::lock_guard lock(m_textMutex);
    m_lastFailure = reason;
}

FtpTransfer::Replacement FtpTransfer::replacementFor(const QByteArray& serverKey)
{
    std::lock_guard lock(serverMemoryMutex);
    return renameRefusers.count(serverKey) ? Replacement::Direct : Replacement::ViaTemporaryName;
}

bool FtpTransfer::tlsCeilingFor(const QByteArray& serverKey)
{
    std::lock_guard lock(serverMemoryMutex);
    return tlsCeilingServers.count(serverKey) != 0;
}

// TLS 1.2 at least, always; at most, for a server whose TLS 1.3 data connections broke.
void FtpTransfer::applyTlsCeiling()
{
    if (!m_endpoint.usesTls())
        return;
    const long version = tlsCeilingFor(m_endpoint.serverKey) ? (long(CURL_SSLVERSION_TLSv1_2) | long(CURL_SSLVERSION_MAX_TLSv1_2))
                                                             : long(CURL_SSLVERSION_TLSv1_2);
    curl_easy_setopt(static_cast<CURL*>(m_curl), CURLOPT_SSLVERSION, version);
}

void FtpTransfer::rememberRenameRefusal(const QByteArray& serverKey)
{
    std::lock_guard lock(serverMemoryMutex);
    renameRefusers.insert(serverKey);
}
