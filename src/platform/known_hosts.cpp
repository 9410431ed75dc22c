#include "platform/known_hosts.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

#include <functional>

namespace {

enum class Marker { None, Revoked, Other };

struct Entry
{
    Marker marker = Marker::None;
    QByteArrayView hosts;
    QByteArray type; // the type named inside the key
    QByteArray key;  // SSH's binary form
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArrayView nextField(QByteArrayView& rest)
{
    qsizetype start = 0;
    while (start < rest.size() && isBlank(rest[start]))
        ++start;
    qsizetype end = start;
    while (end < rest.size() && !isBlank(rest[end]))
        ++end;
    const QByteArrayView field = rest.sliced(start, end - start);
    rest = rest.sliced(end);
    return field;
}

// The type named at the start of a key in SSH's binary form: a string with its 32-bit length.
QByteArray typeInside(const QByteArray& key)
{
    if (key.size() < 4)
        return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.constData());
    const quint32 size = quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3];
    if (size == 0 || size > quint32(key.size() - 4))
        return {};
    return key.mid(4, qsizetype(size));
}

// One line as OpenSSH takes it; false for comments, blank lines and lines it passes over.
bool parseLine(QByteArrayView line, Entry& entry)
{
    QByteArrayView rest = line;
    QByteArrayView field = nextField(rest);
    if (field.isEmpty() || field.startsWith('#'))
        return false;
    entry.marker = Marker::None;
    if (field.startsWith('@')) {
        entry.marker = field == QByteArrayView("@revoked") ? Marker::Revoked : Marker::Other;
        field = nextField(rest);
    }
    entry.hosts = field;
    const QByteArrayView type = nextField(rest);
    const QByteArrayView encoded = nextField(rest);
    if (entry.hosts.isEmpty() || type.isEmpty() || encoded.isEmpty())
        return false;
    const auto decoded = QByteArray::fromBase64Encoding(encoded.toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    entry.key = *decoded;
    entry.type = typeInside(entry.key);
    // OpenSSH refuses a line whose named type is not the key's own.
    return !entry.type.isEmpty() && entry.type == type;
}

void forEachEntry(QByteArrayView text, QByteArrayView host, int port,
                  const std::function<bool(const Entry&, int)>& take)
{
    const QByteArray name = KnownHosts::lookupName(host, port);
    int number = 0;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf('\n');
        const QByteArrayView line = end < 0 ? text : text.first(end);
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
        ++number;
        Entry entry;
        if (parseLine(line, entry) && KnownHosts::hostFieldMatches(entry.hosts, name) && !take(entry, number))
            return;
    }
}

// OpenSSH's glob: "*" any run of characters, "?" any one.
bool globMatches(QByteArrayView name, QByteArrayView pattern)
{
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starAt = -1;
    qsizetype nameAtStar = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            nameAtStar = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++nameAtStar;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool hashedNameMatches(QByteArrayView field, QByteArrayView name)
{
    if (!field.startsWith("|1|"))
        return false;
    const QByteArrayView rest = field.sliced(3);
    const qsizetype bar = rest.indexOf('|');
    if (bar < 0)
        return false;
    const auto salt =
        QByteArray::fromBase64Encoding(rest.first(bar).toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    const auto hash =
        QByteArray::fromBase64Encoding(rest.sliced(bar + 1).toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    constexpr qsizetype Sha1Size = 20;
    if (!salt || !hash || salt.decoded.size() != Sha1Size || hash.decoded.size() != Sha1Size)
        return false;
    return QMessageAuthenticationCode::hash(name.toByteArray(), *salt, QCryptographicHash::Sha1) == *hash;
}

} // namespace

namespace KnownHosts {

QByteArray lookupName(QByteArrayView host, int port)
{
    const QByteArray name = host.toByteArray().toLower();
    if (port == 22)
        return name;
    return '[' + name + "]:" + QByteArray::number(port);
}

bool hostFieldMatches(QByteArrayView field, QByteArrayView name)
{
    if (field.startsWith('|'))
        return hashedNameMatches(field, name);
    bool matched = false;
    while (!field.isEmpty()) {
        const qsizetype comma = field.indexOf(',');
        QByteArrayView pattern = comma < 0 ? field : field.first(comma);
        field = comma < 0 ? QByteArrayView() : field.sliced(comma + 1);
        const bool negated = pattern.startsWith('!');
        if (negated)
            pattern = pattern.sliced(1);
        if (globMatches(name, pattern.toByteArray().toLower())) {
            if (negated)
                return false;
            matched = true;
        }
    }
    return matched;
}

Judgement judge(QByteArrayView text, QByteArrayView host, int port, QByteArrayView key)
{
    Judgement known;
    Judgement other;
    Judgement revoked;
    forEachEntry(text, host, port, [&](const Entry& entry, int line) {
        const bool same = entry.key == key;
        if (entry.marker == Marker::Revoked && same)
            revoked = {Verdict::Revoked, line, entry.key};
        else if (entry.marker == Marker::None && same && known.line == 0)
            known = {Verdict::Known, line, entry.key};
        else if (entry.marker == Marker::None && !same && other.line == 0)
            other = {Verdict::Changed, line, entry.key};
        return revoked.line == 0;
    });
    if (revoked.line != 0)
        return revoked;
    if (known.line != 0)
        return known;
    return other;
}

QList<QByteArray> keyTypes(QByteArrayView text, QByteArrayView host, int port)
{
    QList<QByteArray> types;
    forEachEntry(text, host, port, [&](const Entry& entry, int) {
        if (entry.marker == Marker::None && !types.contains(entry.type))
            types << entry.type;
        return true;
    });
    return types;
}

} // namespace KnownHosts
