#include "platform/ftp_endpoint.h"

#include "platform/tls_trust.h"

#include <QDir>
#include <QFile>

#include <curl/curl.h>

namespace {

bool libcurlSupports(const char* scheme)
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    for (const char* const* protocol = info->protocols; protocol && *protocol; ++protocol) {
        if (qstricmp(scheme, *protocol) == 0)
            return true;
    }
    return false;
}

QByteArray urlPart(CURLU* url, CURLUPart part, unsigned flags = 0)
{
    char* value = nullptr;
    if (curl_url_get(url, part, &value, flags) != CURLUE_OK || !value)
        return {};
    QByteArray bytes(value);
    curl_free(value);
    return bytes;
}

} // namespace

std::optional<FtpEndpoint> FtpEndpoint::parse(const QString& serverName)
{
    CURLU* url = curl_url();
    const QByteArray bytes = serverName.toUtf8();
    std::optional<FtpEndpoint> endpoint;
    if (curl_url_set(url, CURLUPART_URL, bytes.constData(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
        const QByteArray scheme = urlPart(url, CURLUPART_SCHEME).toLower();
        const QByteArray host = urlPart(url, CURLUPART_HOST);
        const QByteArray port = urlPart(url, CURLUPART_PORT);
        FtpEndpoint parsed;
        QByteArray curlScheme = scheme;
        QByteArray defaultPort = "21";
        if (scheme == "ftpes") {
            parsed.kind = FtpExplicitTls;
            curlScheme = "ftp";
        } else if (scheme == "ftps") {
            parsed.kind = FtpImplicitTls;
            defaultPort = "990";
        } else if (scheme == "sftp") {
            parsed.kind = Sftp;
            defaultPort = "22";
        } else if (scheme != "ftp") {
            curlScheme.clear();
        }
        const bool supported = parsed.kind == Sftp || libcurlSupports(curlScheme.constData());
        const QByteArray effectivePort = port.isEmpty() ? defaultPort : port;
        parsed.port = effectivePort.toInt();
        if (!host.isEmpty() && !curlScheme.isEmpty() && supported && parsed.port > 0 && parsed.port < 65536) {
            parsed.host = host;
            parsed.curlUrl = curlScheme + "://" + host + ':' + effectivePort + '/';
            parsed.serverKey = scheme + "://" + host + ':' + effectivePort;
            QByteArray path = urlPart(url, CURLUPART_PATH, CURLU_URLDECODE);
            while (path.startsWith('/'))
                path.remove(0, 1);
            while (path.endsWith('/'))
                path.chop(1);
            parsed.basePath = path;
            parsed.urlUser = QString::fromUtf8(urlPart(url, CURLUPART_USER, CURLU_URLDECODE));
            parsed.urlPassword = QString::fromUtf8(urlPart(url, CURLUPART_PASSWORD, CURLU_URLDECODE));
            endpoint = parsed;
        }
    }
    curl_url_cleanup(url);
    return endpoint;
}

void FtpEndpoint::applyTo(void* handle) const
{
    CURL* curl = static_cast<CURL*>(handle);
    // Never through a proxy named by the environment (ftp_proxy, all_proxy): libcurl would hand an FTP upload to
    // an HTTP proxy as a plain request, the password in a Basic header, and take the proxy's refusal for success.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    verifyTlsPeer(curl);
    switch (kind) {
    case Ftp:
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_NONE));
        break;
    case FtpExplicitTls:
    case FtpImplicitTls:
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        break;
    case Sftp:
        break;
    }
}
