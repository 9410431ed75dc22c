// Arbitrary bytes as an echo page's answer: whatever the lookup takes for the address is a well-formed, usable
// IPv4 or IPv6 address and nothing else. Checked here without the address check's own code.
#include "fuzz_check.h"
#include "ipcheck/echo_answer.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>

namespace {

bool isAddressCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == '.' || u == ':';
}

// Four decimal parts of 0 to 255 without leading zeros; neither 0.0.0.0 nor a loopback address.
bool usableDottedQuad(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part[0] == QLatin1Char('0')))
            return false;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        const uint octet = part.toUInt();
        if (octet > 255)
            return false;
        value = value << 8 | octet;
    }
    return value != 0 && (value >> 24) != 127;
}

bool usableIpv6(const QString& text)
{
    const std::string bytes = text.toStdString();
    in6_addr address{};
    if (bytes.find('\0') != std::string::npos || ::inet_pton(AF_INET6, bytes.c_str(), &address) != 1)
        return false;
    return !IN6_IS_ADDR_UNSPECIFIED(&address) && !IN6_IS_ADDR_LOOPBACK(&address);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The echo pages the program was written for are in windows-31j; UTF-8 is the usual page elsewhere.
    const CodePage page(data[0] % 2 ? "UTF-8" : "windows-31j");
    const QByteArray answer(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    const QString address = EchoAnswer::address(answer, page);
    if (address.isEmpty())
        return 0;

    const QString detail = QStringLiteral("address %1\nanswer %2").arg(fuzzShow(address.toUtf8()), fuzzShow(answer));
    FUZZ_CHECK(address.size() <= 45, detail);
    for (QChar c : address)
        FUZZ_CHECK(isAddressCharacter(c), detail);
    FUZZ_CHECK(address.contains(QLatin1Char(':')) ? usableIpv6(address) : usableDottedQuad(address), detail);
    return 0;
}
