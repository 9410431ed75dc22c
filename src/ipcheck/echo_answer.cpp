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

QString address(const QByteArray& file, const CodePage& codePage)
{
    // Lines are decoded one by one, which keeps every U+FEFF: a byte-order mark can only open the page.
    const QByteArray answer = CodePage::withoutByteOrderMark(file).toByteArray();
    for (const QByteArray& line : lines(answer)) {
        // Marker text that is no address (an error page, trailing markup) must not be published.
        const QString found = AddressCheck::leadingAddress(Cut_IP_address(codePage.decode(line)));
        if (!found.isEmpty())
            return found;
    }
    // Echo pages that answer with the bare address and nothing else.
    const QString whole = codePage.decode(answer).trimmed();
    return AddressCheck::isUsableAddress(whole) ? whole : QString();
}

} // namespace EchoAnswer
