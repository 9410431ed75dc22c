#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The text of ~/.ssh/known_hosts read as OpenSSH reads it, to judge one server's host key. Pure functions of
// the text, so that any bytes may be thrown at them.
//
// A line names hosts and a key: "host,*.example.org,!bad.example.org ssh-ed25519 AAAA... comment". The host
// field is a comma list of patterns with "*" and "?", where a matching "!pattern" rules the line out, or one
// hashed name "|1|salt|hash" (HMAC-SHA1 of the name). A server on port 22 is looked up as "host", on any
// other port as "[host]:port", so an entry without a port is for port 22 only. "@revoked" before a line
// refuses that key for those hosts whatever other lines say; "@cert-authority" lines hold authorities for host
// certificates, not host keys, and are passed over here like lines with any other marker. Unlike OpenSSH, a
// known key of another type than the server's counts as a changed key: we ask for no other type.
namespace KnownHosts {

enum class Verdict {
    Known,   // a line holds this key for the host
    Unknown, // no line holds a key for the host
    Changed, // lines hold keys for the host, none of them this one
    Revoked, // an "@revoked" line holds this key for the host
};

struct Judgement
{
    Verdict verdict = Verdict::Unknown;
    int line = 0; // the line (from 1) that decided; 0 for Unknown
    QByteArray key; // that line's key (for Changed, the one known instead)
};

// `host` as typed (an IPv6 address without brackets), `key` the server's public key in SSH's binary form
// (the base64-decoded field of a known_hosts line).
Judgement judge(QByteArrayView text, QByteArrayView host, int port, QByteArrayView key);

// The types ("ssh-ed25519", "ssh-rsa" ...) of the keys the text holds for the host, in the order of their
// lines, each once: the server is asked for these first.
QList<QByteArray> keyTypes(QByteArrayView text, QByteArrayView host, int port);

// The name a host is looked up by: "host" for port 22, "[host]:port" otherwise; in lower case.
QByteArray lookupName(QByteArrayView host, int port);

// Whether a host field ("a,b*,!c" or "|1|salt|hash") takes the lookup name.
bool hostFieldMatches(QByteArrayView field, QByteArrayView name);

} // namespace KnownHosts
