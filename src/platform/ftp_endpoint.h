#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the scheme of the server name promises, and the one place where it becomes libcurl's options (SFTP goes
// through SftpSession instead):
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
    QByteArray host;     // as typed, an IPv6 address in brackets
    int port = 0;        // as typed, or the scheme's own
    QByteArray basePath; // the path typed after the host, decoded, without slashes at either end
    QString urlUser;
    QString urlPassword;
    QByteArray serverKey; // the scheme as typed, host and port: what is remembered about one server

    bool isSftp() const { return kind == Sftp; }
    bool usesTls() const { return kind == FtpExplicitTls || kind == FtpImplicitTls; }

    // Nullopt for a name without host or port, or with a scheme that is not one of the above or, for FTP, that
    // libcurl lacks.
    static std::optional<FtpEndpoint> parse(const QString& serverName);

    // Sets the FTP transport's options on a libcurl easy handle (a CURL*).
    void applyTo(void* curl) const;
};
