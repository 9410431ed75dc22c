#pragma once

#include "platform/background_job.h"
#include "platform/server_identity.h"
#include "platform/transfer_failure.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <optional>

// Our internet transfer stand-in for HTTP: fetches a URL's body as bytes. The transfer runs on a worker
// thread; the caller waits on the event loop, so the window stays responsive and the wait costs no CPU.
// Up to 5 redirects are followed, to http or https pages only and never from https back to http; https
// certificates are verified against the authorities the uploads use; waits are bounded and the body capped.
class HttpTransfer
{
public:
    static constexpr qint64 kDefaultMaxBody = 1024 * 1024;

    HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;
    ~HttpTransfer();

    // 0: the platform's default proxy use (the proxy environment variables); 1: always direct.
    void setAccessType(int accessType) { m_accessType = accessType; }
    int accessType() const { return m_accessType; }

    // Which addresses of the page's server are tried: any, IPv4 only or IPv6 only. An echo page asked over one
    // family answers with this computer's address in that family.
    enum class IpFamily { Any, V4, V6 };
    void setIpFamily(IpFamily family) { m_ipFamily = family; }
    IpFamily ipFamily() const { return m_ipFamily; }

    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total);
    void setMaxBodySize(qint64 bytes) { m_maxBody = bytes; }

    // The whole body of a successful (2xx/3xx-final) answer, or nothing: unreachable, timed out, cancelled,
    // an HTTP error status, a body over the cap, or a fetch already running on this object.
    std::optional<QByteArray> OpenURL(const QString& url);

    bool StillExecuting() const { return m_job.isRunning(); }
    // Aborts the running fetch, if any; it then ends as a failure.
    void Cancel() { m_cancel.store(true); }

    QString lastError() const { return m_lastError; }
    // Why the last fetch failed, as the user reads it: unresolved name, refused connection, time-out, the HTTP
    // status, TLS, an answer too large.
    TransferFailure lastFailure() const { return m_lastFailure; }
    // The certificate of an https page that the last fetch did not trust (unknown or changed); unset otherwise.
    ServerIdentity refusedIdentity() const { return m_refusedIdentity; }

private:
    struct Outcome
    {
        bool ok = false;
        QByteArray body;
        QString error;
        TransferFailure failure;
        ServerIdentity identity;
    };
    struct Request
    {
        QByteArray url;
        int accessType = 0;
        IpFamily ipFamily = IpFamily::Any;
        std::chrono::milliseconds connectTimeout;
        std::chrono::milliseconds totalTimeout;
        qint64 maxBody = 0;
        const std::atomic<bool>* cancel = nullptr;
    };
    // Runs on the worker: it sees only its copy of the settings and the cancel flag.
    static Outcome perform(const Request& request);
    static TransferFailure echoPageFailure(int curlCode, bool overLimit, int httpStatus, const QString& detail);

    int m_accessType = 0;
    IpFamily m_ipFamily = IpFamily::Any;
    std::chrono::milliseconds m_connectTimeout{15000};
    std::chrono::milliseconds m_totalTimeout{30000};
    qint64 m_maxBody = kDefaultMaxBody;
    std::atomic<bool> m_cancel{false};
    QString m_lastError;
    TransferFailure m_lastFailure;
    ServerIdentity m_refusedIdentity;
    BackgroundJob m_job; // last: joined before the members the worker uses go away
};
