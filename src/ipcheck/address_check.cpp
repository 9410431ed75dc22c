#include "ipcheck/address_check.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace AddressCheck {

namespace {

bool usableIpv4(const QString& text)
{
    in_addr address{};
    if (::inet_pton(AF_INET, text.toLatin1().constData(), &address) != 1)
        return false;
    const quint32 host = ntohl(address.s_addr);
    return host != 0 && (host >> 24) != 127;
}

bool usableIpv6(const QString& text)
{
    in6_addr address{};
    if (::inet_pton(AF_INET6, text.toLatin1().constData(), &address) != 1)
        return false;
    return !IN6_IS_ADDR_UNSPECIFIED(&address) && !IN6_IS_ADDR_LOOPBACK(&address);
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

bool isAsciiOnly(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

bool gluedToRest(const QString& text, qsizetype end)
{
    return end < text.size() &&
           (text[end].isLetterOrNumber() || text[end] == QLatin1Char('.') || text[end] == QLatin1Char(':'));
}

} // namespace

bool isUsableAddress(const QString& text)
{
    if (text.isEmpty() || !isAsciiOnly(text))
        return false;
    return text.contains(QLatin1Char(':')) ? usableIpv6(text) : usableIpv4(text);
}

QString leadingAddress(const QString& text)
{
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
