#include "platform/http_transfer.h"

#include "platform/tls_trust.h"

#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

// A few hops are usual (http to https, a moved page); more is a loop or a detour worth refusing.
constexpr int MaxRedirects = 5;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Receiver
{
    QByteArray body;
    qint64 limit = 0;
    bool overLimit = false;
    const std::atomic<bool>* cancel = nullptr;
};

size_t receive(char* data, size_t size, size_t count, void* user)
{
    auto* receiver = static_cast<Receiver*>(user);
    const size_t bytes = size * count;
    if (receiver->body.size() + qint64(bytes) > receiver->limit) {
        receiver->overLimit = true;
        return 0; // aborts the transfer before the body grows past the cap
    }
    receiver->body.append(data, qsizetype(bytes));
    return bytes;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Receiver*>(user)->cancel->load() ? 1 : 0;
}

} // namespace

HttpTransfer::HttpTransfer()
{
    initCurlOnce();
}

HttpTransfer::~HttpTransfer()
{
    Cancel();
}

void HttpTransfer::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total)
{
    m_connectTimeout = connect;
    m_totalTimeout = total;
}

std::optional<QByteArray> HttpTransfer::OpenURL(const QString& url)
{
    // A handler run during the wait may ask again; the component is busy then, as with one real control.
    if (m_job.isRunning()) {
        m_lastError = QStringLiteral("a transfer is still running");
        m_lastFailure = {TransferFailure::Stage::Connect, QStringLiteral("前の取得がまだ終わっていません"), {}, {}};
        m_refusedIdentity = {};
        return std::nullopt;
    }
    m_cancel.store(false);
    auto outcome = std::make_shared<Outcome>();
    const Request request{url.trimmed().toUtf8(), m_accessType, m_ipFamily, m_connectTimeout,
                          m_totalTimeout,         m_maxBody,    &m_cancel};
    m_job.start([outcome, request] { *outcome = perform(request); });
    m_job.waitWhileRunning();

    m_lastError = outcome->error;
    m_lastFailure = outcome->failure;
    m_refusedIdentity = outcome->identity;
    if (!outcome->ok)
        return std::nullopt;
    return std::move(outcome->body);
}

// Why a fetch of the echo page failed, by what went wrong.
TransferFailure HttpTransfer::echoPageFailure(int curlCode, bool overLimit, int httpStatus, const QString& detail)
{
    using Stage = TransferFailure::Stage;
    TransferFailure failure{Stage::Connect, QString(), QString(), detail};
    if (overLimit) {
        failure.reason = QStringLiteral("エコーページの応答が大きすぎます");
        return failure;
    }
    switch (CURLcode(curlCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        failure.reason = QStringLiteral("エコーページのサーバー名を解決できません");
        break;
    case CURLE_COULDNT_CONNECT:
        failure.reason = QStringLiteral("エコーページのサーバーに接続できません (接続が拒否されました)");
        break;
    case CURLE_OPERATION_TIMEDOUT:
        failure.reason = QStringLiteral("エコーページのサーバーが時間内に応答しません");
        break;
    case CURLE_HTTP_RETURNED_ERROR:
        failure.stage = Stage::Store;
        failure.reason = QStringLiteral("エコーページがエラーを返しました");
        failure.reply = QStringLiteral("HTTP %1").arg(httpStatus);
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        failure.stage = Stage::Tls;
        failure.reason = QStringLiteral("エコーページのサーバー証明書を信頼できません");
        break;
    case CURLE_SSL_CONNECT_ERROR:
        failure.stage = Stage::Tls;
        failure.reason = QStringLiteral("エコーページと TLS を確立できません");
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        failure.stage = Stage::Cancelled;
        failure.reason = QStringLiteral("中止されました");
        break;
    case CURLE_FILESIZE_EXCEEDED:
        failure.reason = QStringLiteral("エコーページの応答が大きすぎます");
        break;
    case CURLE_TOO_MANY_REDIRECTS:
        failure.reason = QStringLiteral("エコーページの転送 (リダイレクト) が多すぎます");
        break;
    default:
        failure.reason = QStringLiteral("エコーページを取得できません");
        break;
    }
    return failure;
}

HttpTransfer::Outcome HttpTransfer::perform(const Request& request)
{
    Outcome outcome;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        outcome.error = QStringLiteral("curl_easy_init failed");
        return outcome;
    }
    Receiver receiver;
    receiver.limit = request.maxBody;
    receiver.cancel = request.cancel;
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // Only web pages: a typed file:// or other scheme, or a redirect to one, must not be read as an echo page.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    verifyTlsPeer(handle);
    TlsPeerCheck tlsCheck;
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, long(request.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxBody));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Veltora/0.5");
    if (request.accessType == 1)
        curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
    if (request.ipFamily != IpFamily::Any)
        curl_easy_setopt(handle, CURLOPT_IPRESOLVE,
                         request.ipFamily == IpFamily::V4 ? CURL_IPRESOLVE_V4 : CURL_IPRESOLVE_V6);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &receive);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &receiver);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &receiver);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    // Redirects are followed here rather than by libcurl, so that none leads from https back to http, where
    // anyone on the path could answer; the whole chain keeps to the one total time-out.
    const auto deadline = std::chrono::steady_clock::now() + request.totalTimeout;
    QByteArray url = request.url;
    bool secure = false;
    for (int redirects = 0;; ++redirects) {
        const qsizetype colon = url.indexOf(':');
        if (colon > 0 && url.left(colon).toLower() == "https") {
            secure = true;
        } else if (secure) {
            outcome.error =
                QStringLiteral("redirect from https to a page without TLS refused: ") + QString::fromUtf8(url);
            outcome.failure = {TransferFailure::Stage::Tls,
                               QStringLiteral("エコーページが https から暗号化のないページへ転送しようとしました"), {},
                               outcome.error};
            return outcome;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        curl_easy_setopt(handle, CURLOPT_URL, url.constData());
        if (secure) {
            const QUrl parsed(QString::fromUtf8(url));
            tlsCheck.attach(handle, QStringLiteral("https"), parsed.host().toUtf8(), parsed.port(443));
        }
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, long(std::max<qint64>(left.count(), 1)));
        receiver.body.clear();
        const CURLcode code = curl_easy_perform(handle);
        if (code != CURLE_OK) {
            if (receiver.overLimit || code == CURLE_FILESIZE_EXCEEDED)
                outcome.error = QStringLiteral("answer larger than %1 bytes").arg(request.maxBody);
            else
                outcome.error = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
            long failedStatus = 0;
            curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &failedStatus);
            outcome.failure = echoPageFailure(code, receiver.overLimit, int(failedStatus), outcome.error);
            if (code == CURLE_PEER_FAILED_VERIFICATION && !request.cancel->load()) {
                outcome.identity = tlsCheck.identity();
                std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> probe(curl_easy_init(), &curl_easy_cleanup);
                const QUrl parsed(QString::fromUtf8(url));
                if (!outcome.identity.isSet() && probe) {
                    curl_easy_setopt(probe.get(), CURLOPT_URL, url.constData());
                    curl_easy_setopt(probe.get(), CURLOPT_PROTOCOLS_STR, "https");
                    if (request.accessType == 1)
                        curl_easy_setopt(probe.get(), CURLOPT_NOPROXY, "*");
                    outcome.identity = TlsPeerCheck::probe(probe.get(), QStringLiteral("https"), parsed.host().toUtf8(),
                                                           parsed.port(443), int(request.connectTimeout.count()));
                }
            }
            return outcome;
        }
        long status = 0;
        char* location = nullptr;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
        if (status < 300 || status > 399 || !location)
            break;
        if (redirects == MaxRedirects) {
            outcome.error = QStringLiteral("more than %1 redirects").arg(MaxRedirects);
            outcome.failure = echoPageFailure(CURLE_TOO_MANY_REDIRECTS, false, int(status), outcome.error);
            return outcome;
        }
        url = location;
    }
    outcome.ok = true;
    outcome.body = std::move(receiver.body);
    return outcome;
}
