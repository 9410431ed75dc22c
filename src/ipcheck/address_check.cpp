#include "ipcheck/address_check.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace AddressCheck {

namespace {

bool usableHost(quint32 host)
{
    return host != 0 && (host >> 24) != 127;
}

// inet_pton reads a C string and would stop at a NUL inside the text, taking what follows it for nothing:
// only text made wholly of the characters an address can hold is handed to it.
bool holdsOnlyAddressCharacters(const QString& text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool hex = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
        if (!hex && u != u'.' && u != u':')
            return false;
    }
    return !text.isEmpty();
}

bool usableIpv4(const QString& text)
{
    in_addr address{};
    if (!holdsOnlyAddressCharacters(text) || ::inet_pton(AF_INET, text.toLatin1().constData(), &address) != 1)
        return false;
    return usableHost(ntohl(address.s_addr));
}

bool usableIpv6(const QString& text)
{
    in6_addr address{};
    if (!holdsOnlyAddressCharacters(text) || ::inet_pton(AF_INET6, text.toLatin1().constData(), &address) != 1)
        return false;
    if (IN6_IS_ADDR_UNSPECIFIED(&address) || IN6_IS_ADDR_LOOPBACK(&address))
        return false;
    // ::ffff:127.0.0.1 and ::127.0.0.1 are loopback and ::ffff:0.0.0.0 is no host, all spelt the IPv6 way.
    if (IN6_IS_ADDR_V4MAPPED(&address) || IN6_IS_ADDR_V4COMPAT(&address)) {
        const uint8_t* b = address.s6_addr;
        const quint32 host = quint32(b[12]) << 24 | quint32(b[13]) << 16 | quint32(b[14]) << 8 | b[15];
        return usableHost(host);
    }
    return true;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isHexDigit(QChar c)
{
    return isDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// A control character (a NUL above all) has no place in an echo page's answer: whatever stands around it is
// not trusted to be the address.
bool holdsControlCharacter(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

bool gluedToRest(const QString& text, qsizetype end)
{
    return end < text.size() &&
           (text[end].isLetterOrNumber() || text[end] == QLatin1Char('.') || text[end] == QLatin1Char(':'));
}

} // namespace

bool isUsableAddress(const QString& text)
{
    return text.contains(QLatin1Char(':')) ? usableIpv6(text) : usableIpv4(text);
}

QString leadingAddress(const QString& text)
{
    if (holdsControlCharacter(text))
        return {};
    const auto leadingRun = [&text](auto belongs) {
        qsizetype end = 0;
        while (end < text.size() && belongs(text[end]))
            ++end;
        return end;
    };

    const qsizetype v6End =
        leadingRun([](QChar c) { return isHexDigit(c) || c == QLatin1Char(':') || c == QLatin1Char('.'); });
    const QString v6 = text.left(v6End);
    if (v6.contains(QLatin1Char(':')) && !gluedToRest(text, v6End) && usableIpv6(v6))
        return v6;

    qsizetype v4End = leadingRun([](QChar c) { return isDigit(c) || c == QLatin1Char('.'); });
    const qsizetype runEnd = v4End;
    while (v4End > 0 && text[v4End - 1] == QLatin1Char('.'))
        --v4End;
    // A trailing full stop is fine only when the text does not go on as part of the same token.
    if (runEnd > v4End ? gluedToRest(text, runEnd) : gluedToRest(text, v4End))
        return {};
    const QString v4 = text.left(v4End);
    return usableIpv4(v4) ? v4 : QString();
}

} // namespace AddressCheck
