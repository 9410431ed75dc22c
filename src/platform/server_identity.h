#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a server showed of itself when we could not trust it: its SSH host key, or its TLS certificate, and how
// that stands against what the user trusts (~/.ssh/known_hosts; the system's authorities and the settings
// folder's trusted_certificates.pem). The window asks about an unknown one; a changed one is only shown.
struct ServerIdentity
{
    enum class Kind { None, HostKey, Certificate };
    enum class Standing {
        Trusted, // as it should be (only --trust reports it)
        Unknown, // nothing trusted for the server: may be trusted now
        Changed, // something else is trusted for the server: never trusted with one click
        Revoked, // known_hosts revokes the key: not even asked about
        Refused, // a certificate refused for another reason (expired, another name): never trusted here
    };

    Kind kind = Kind::None;
    Standing standing = Standing::Unknown;
    QString scheme;  // "sftp", "ftps", "ftpes", "https"
    QByteArray host; // without brackets
    int port = 0;

    QByteArray keyType; // "ssh-ed25519"
    QByteArray key;     // the host key in SSH's binary form

    QByteArray certificate; // the server's own certificate (DER)
    QString subject;
    QString issuer;
    QString validFrom;
    QString validUntil;
    QString tlsVerdict; // why the system does not trust it: "self-signed certificate"

    QStringList trustedFingerprints; // for a changed one: what is trusted for the server instead

    bool isSet() const { return kind != Kind::None; }
    bool mayBeTrusted() const { return isSet() && standing == Standing::Unknown; }
    // Whether the window shows it: unknown or changed, never a revoked key.
    bool worthShowing() const { return isSet() && (standing == Standing::Unknown || standing == Standing::Changed); }

    // "SHA256:base64-without-padding" for a key (as OpenSSH shows it), "AB:CD:..." for a certificate.
    QString fingerprint() const;
    // "[host]:port" for a numeric IPv6 address, "host:port" otherwise.
    QString hostAndPort() const;
    // The scheme, server, port and what it showed, in Japanese, one fact a line; for the dialog and --trust.
    QString description() const;
    // For a changed one: the old and new fingerprints and how to remove the old entry.
    QString changeNotice() const;
    // The whole text of the window's question (or, for a changed one, its notice).
    QString trustQuestion() const;
};

namespace ServerTrust {

// The file of certificates trusted for one server each, in the settings folder (the working folder).
inline constexpr char TrustedCertificates[] = "trusted_certificates.pem";

QString knownHostsPath();
// OpenSSH's fingerprint of a key in SSH's binary form: "SHA256:" and base64 without padding.
QString keyFingerprint(const QByteArray& key);
// Upper-case hex pairs joined by ":", of the SHA-256 of the bytes.
QString certificateFingerprint(const QByteArray& der);

// The line known_hosts gets: "host type base64" for port 22, "[host]:port type base64" otherwise.
QByteArray knownHostsLine(const QByteArray& host, int port, const QByteArray& type, const QByteArray& key);

// The certificates (DER) trusted_certificates.pem holds for `hostAndPort`: each certificate counts for the
// server named on the "# host:port" line just before it, and only for that one.
QList<QByteArray> trustedCertificates(const QByteArray& fileText, const QString& hostAndPort);
QList<QByteArray> trustedCertificates(const QString& hostAndPort);

// Appends the key to ~/.ssh/known_hosts (the folder made 0700 and the file 0600 when missing) or the
// certificate to trusted_certificates.pem; existing lines are never rewritten. False with the reason in `why`.
bool record(const ServerIdentity& identity, QString* why);

} // namespace ServerTrust
