#include "platform/tls_trust.h"

#include <QByteArray>

#include <curl/curl.h>

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
