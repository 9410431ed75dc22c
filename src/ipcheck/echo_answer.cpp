#include "ipcheck/echo_answer.h"

#include "ipcheck/address_check.h"
#include "ipcheck/page_parser.h"

namespace EchoAnswer {

QList<QByteArray> lines(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines << bytes.mid(start, i - start);
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines << bytes.mid(start);
    return lines;
}

namespace {

bool ofFamily(const QString& address, Family family)
{
    if (address.isEmpty() || family == Family::Any)
        return !address.isEmpty();
    const bool ipv6 = address.contains(QLatin1Char(':')) && !address.contains(QLatin1Char('.'));
    return family == Family::Ipv6 ? ipv6 : !address.contains(QLatin1Char(':'));
}

} // namespace

QString address(const QByteArray& file, const CodePage& codePage, Family family)
{
    // Lines are decoded one by one, which keeps every U+FEFF: a byte-order mark can only open the page.
    const QByteArray answer = CodePage::withoutByteOrderMark(file).toByteArray();
    for (const QByteArray& line : lines(answer)) {
        // Marker text that is no address (an error page, trailing markup) must not be published.
        const QString text = codePage.decode(line);
        const QString found = AddressCheck::leadingAddress(Cut_IP_address(text));
        if (ofFamily(found, family))
            return found;
        if (family == Family::Ipv4)
            continue;
        const QString found6 = Cut_IPv6_address(text);
        if (ofFamily(found6, family))
            return found6;
    }
    // Echo pages that answer with the bare address and nothing else.
    const QString whole = codePage.decode(answer).trimmed();
    return AddressCheck::isUsableAddress(whole) && ofFamily(whole, family) ? whole : QString();
}

} // namespace EchoAnswer
