#include "platform/tls_trust.h"

#include <QByteArray>
#include <QDateTime>

#include <curl/curl.h>
#include <algorithm>
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

void verifyTlsPeer(void* handle)
{
    CURL* curl = static_cast<CURL*>(handle);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray certFile = qgetenv("SSL_CERT_FILE");
    const QByteArray certDir = qgetenv("SSL_CERT_DIR");
    if (!certFile.isEmpty() || !certDir.isEmpty()) {
        // libcurl copies the strings.
        curl_easy_setopt(curl, CURLOPT_CAINFO, certFile.isEmpty() ? nullptr : certFile.constData());
        curl_easy_setopt(curl, CURLOPT_CAPATH, certDir.isEmpty() ? nullptr : certDir.constData());
    }
}

namespace {

QString nameText(const X509_NAME* name)
{
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QString text = QString::fromUtf8(data, qsizetype(size));
    BIO_free(bio);
    return text;
}

QString timeText(const ASN1_TIME* time)
{
    tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    const QDateTime utc(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                        QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
    return utc.toLocalTime().toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

// Whether trusting the certificate itself would settle the refusal: no authority vouches for it.
bool noAuthority(int error)
{
    switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return true;
    default:
        return false;
    }
}

} // namespace

struct TlsCallbacks
{
    static CURLcode sslContext(CURL*, void* context, void* self)
    {
        SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(context), &TlsCallbacks::verify, self);
        return CURLE_OK;
    }

    static int verify(X509_STORE_CTX* store, void* self)
    {
        auto* check = static_cast<TlsPeerCheck*>(self);
        // Where libcurl leaves the name to us (a certificate is trusted for the server) and in a probe, which
        // ends before libcurl would look at it, the name is checked here with the authority.
        const bool probe = check->m_mode == TlsPeerCheck::Mode::Probe;
        if (probe || !check->m_trusted.isEmpty()) {
            X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(store);
            if (X509_VERIFY_PARAM_set1_ip_asc(param, check->m_host.constData()) != 1)
                X509_VERIFY_PARAM_set1_host(param, check->m_host.constData(), size_t(check->m_host.size()));
        }
        const bool vouched = X509_verify_cert(store) == 1;
        const int error = X509_STORE_CTX_get_error(store);
        X509* leaf = X509_STORE_CTX_get0_cert(store);
        QByteArray der;
        if (leaf) {
            unsigned char* bytes = nullptr;
            const int size = i2d_X509(leaf, &bytes);
            if (size > 0)
                der = QByteArray(reinterpret_cast<const char*>(bytes), size);
            OPENSSL_free(bytes);
        }
        const bool trusted = !der.isEmpty() && check->m_trusted.contains(der);
        if (trusted)
            X509_STORE_CTX_set_error(store, X509_V_OK);
        const bool accepted = vouched || trusted;
        if (leaf && (probe || !accepted)) {
            ServerIdentity identity;
            identity.kind = ServerIdentity::Kind::Certificate;
            identity.standing = accepted                       ? ServerIdentity::Standing::Trusted
                                : !check->m_trusted.isEmpty() ? ServerIdentity::Standing::Changed
                                : noAuthority(error)          ? ServerIdentity::Standing::Unknown
                                                              : ServerIdentity::Standing::Refused;
            identity.scheme = check->m_scheme;
            identity.host = check->m_host;
            identity.port = check->m_port;
            identity.certificate = der;
            identity.subject = nameText(X509_get_subject_name(leaf));
            identity.issuer = nameText(X509_get_issuer_name(leaf));
            identity.validFrom = timeText(X509_get0_notBefore(leaf));
            identity.validUntil = timeText(X509_get0_notAfter(leaf));
            if (!accepted)
                identity.tlsVerdict = QString::fromUtf8(X509_verify_cert_error_string(error));
            for (const QByteArray& known : check->m_trusted)
                identity.trustedFingerprints << ServerTrust::certificateFingerprint(known);
            std::lock_guard lock(check->m_mutex);
            check->m_identity = identity;
        }
        // A probe goes no further than the certificate.
        return probe ? 0 : int(accepted);
    }
};

void TlsPeerCheck::attach(void* handle, const QString& scheme, const QByteArray& host, int port)
{
    CURL* curl = static_cast<CURL*>(handle);
    m_scheme = scheme;
    m_host = host.startsWith('[') && host.endsWith(']') ? host.mid(1, host.size() - 2) : host;
    m_port = port;
    ServerIdentity named;
    named.host = m_host;
    named.port = port;
    m_trusted = ServerTrust::trustedCertificates(named.hostAndPort());
    clear();
    // Only where it is needed (a probe, a server with a trusted certificate): otherwise libcurl's own verdict
    // stands alone, and the certificate of a refused server is fetched by a probe.
    const bool needed = m_mode == Mode::Probe || !m_trusted.isEmpty();
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, needed ? &TlsCallbacks::sslContext : nullptr);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, needed ? this : nullptr);
    // A certificate trusted for this server may name another host: libcurl leaves the name to the verify callback
    // then, which checks it for every certificate but the trusted ones.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, m_trusted.isEmpty() ? 2L : 0L);
}

ServerIdentity TlsPeerCheck::probe(void* handle, const QString& scheme, const QByteArray& host, int port,
                                   int connectMs)
{
    CURL* curl = static_cast<CURL*>(handle);
    TlsPeerCheck check(Mode::Probe);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    const long limitMs = std::clamp(connectMs, 1000, ProbeLimitMs);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limitMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 2 * limitMs);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, std::max(1L, limitMs / 1000));
    verifyTlsPeer(curl);
    check.attach(curl, scheme, host, port);
    curl_easy_perform(curl);
    return check.identity();
}

ServerIdentity TlsPeerCheck::identity() const
{
    std::lock_guard lock(m_mutex);
    return m_identity;
}

void TlsPeerCheck::clear()
{
    std::lock_guard lock(m_mutex);
    m_identity = {};
}
