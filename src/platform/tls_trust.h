#pragma once

#include "platform/server_identity.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <mutex>

// Every TLS peer (an upload's server, the echo page) is verified the same way, host name included, against the
// same authorities: the system's, or those the environment names in SSL_CERT_FILE / SSL_CERT_DIR, which then
// replace them, as OpenSSL's own tools do. Sets that on a libcurl easy handle (a CURL*).
void verifyTlsPeer(void* curl);

// What a TLS server's certificate is judged by beyond verifyTlsPeer(), on one libcurl handle: the certificates
// the user trusted for exactly this host and port (trusted_certificates.pem) are accepted as they stand, whatever
// names they hold, in addition to the authorities; nothing trusted for one server counts for another. When a
// certificate is refused because no authority vouches for it (self-signed, unknown authority), it is kept, with
// how it stands (unknown, or changed when another is trusted for the server), for the window to show.
//
// A probe connects only as far as the certificate: the handshake is ended there whatever the verdict, so that
// nothing (no user name, no password) is ever sent.
class TlsPeerCheck
{
public:
    enum class Mode { Connect, Probe };

    explicit TlsPeerCheck(Mode mode = Mode::Connect) : m_mode(mode) {}
    TlsPeerCheck(const TlsPeerCheck&) = delete;
    TlsPeerCheck& operator=(const TlsPeerCheck&) = delete;

    // Before each transfer on `curl` (after verifyTlsPeer): the server it is about to reach.
    void attach(void* curl, const QString& scheme, const QByteArray& host, int port);

    // Connects with `curl` (its URL and transport set, no user name or password) only to fetch the server's
    // certificate and judge it; within at most twice ProbeLimitMs.
    static constexpr int ProbeLimitMs = 10000;
    static ServerIdentity probe(void* curl, const QString& scheme, const QByteArray& host, int port, int connectMs);

    // The certificate of the last refused handshake (Probe: of the last handshake); unset when none.
    ServerIdentity identity() const;
    void clear();

private:
    friend struct TlsCallbacks; // OpenSSL's and libcurl's callbacks, with their own types

    const Mode m_mode;
    QString m_scheme;
    QByteArray m_host; // without brackets
    int m_port = 0;
    QList<QByteArray> m_trusted; // DER, for this host and port
    mutable std::mutex m_mutex;
    ServerIdentity m_identity;
};
