#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the scheme of the server name promises, and the one place where it becomes libcurl's options:
//   ftp://    plain FTP;
//   ftpes://  FTP with explicit TLS (AUTH TLS on the FTP port), refused unless commands and data are encrypted;
//   ftps://   FTP with implicit TLS (port 990 unless given);
//   sftp://   SSH file transfer; the host key must be in ~/.ssh/known_hosts, an unknown or changed key refuses.
// Certificates are always verified, host name included, against the system's authorities, or against
// SSL_CERT_FILE / SSL_CERT_DIR when the environment sets them. Nothing falls back to clear text, and nothing
// goes through a proxy: every transport connects to the server directly.
//
// The URL handed to libcurl never holds user information: a user name or password typed into the server name
// is kept apart and used only where the settings give none, so no password reaches libcurl's verbose output.
struct FtpEndpoint
{
    enum Kind { Ftp, FtpExplicitTls, FtpImplicitTls, Sftp };

    Kind kind = Ftp;
    QByteArray curlUrl;  // libcurl's scheme, host and port, ending in "/": "ftp://host:21/"
    QByteArray basePath; // the path typed after the host, decoded, without slashes at either end
    QString urlUser;
    QString urlPassword;
    QByteArray serverKey; // the scheme as typed, host and port: what is remembered about one server

    bool isSftp() const { return kind == Sftp; }

    // Nullopt for a name without host, or with a scheme that is not one of the above or that libcurl lacks.
    static std::optional<FtpEndpoint> parse(const QString& serverName);

    // Sets the transport's options on a libcurl easy handle (a CURL*). A refused SSH host key is explained in
    // `hostKeyProblem`, which must outlive the handle.
    void applyTo(void* curl, QString* hostKeyProblem) const;
};
