#pragma once

#include <QByteArray>
#include <QString>

// Certificates and keys made at test time with the openssl command, for the loopback servers of the
// encrypted transports. Nothing is shipped: every run makes its own.
namespace TestKeys {

// In `dir`: an authority "ca.pem" and, each as "<kind>.pem" with "<kind>.key", certificates it signed for
// 127.0.0.1 ("good"), for another host name ("wrong-name") and long expired ("expired"), and a self-signed
// one for 127.0.0.1 ("self-signed"); the authority alone in "authorities/" under its hash name. False, with openssl's
// complaint in `error`, when that failed.
bool makeCertificates(const QString& dir, QString* error);

// An ed25519 key in PEM at `path`; its public half in OpenSSH's form ("ssh-ed25519 AAAA..."), empty on failure.
QByteArray makeHostKey(const QString& path, QString* error);

// An OpenSSH host key of `type` ("ed25519", "rsa") made by ssh-keygen at `path`; its public half as
// "ssh-ed25519 AAAA...", empty on failure.
QByteArray makeSshHostKey(const QString& path, const QString& type, QString* error);

// A known_hosts line for a server on 127.0.0.1 at `port`.
QByteArray knownHostsLine(quint16 port, const QByteArray& publicKey);

} // namespace TestKeys
