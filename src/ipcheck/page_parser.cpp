#include "ipcheck/page_parser.h"

#include "ipcheck/address_check.h"

#include <array>

namespace {

// Tried in this order; the first that occurs anywhere in the line wins, wherever it stands.
const std::array<QString, 8> kMarkers = {
    QStringLiteral("上記ホスト名の正引き</TH><TD> :"),
    QStringLiteral("<P CLASS=\"INLINESANS\"><B>"),
    QStringLiteral("YOUR IP ADDRESS IS  <B>"),
    QStringLiteral("YOUR IP ADDRESS IS <BR>"),
    QStringLiteral("YOUR IP ADDRESS: "),
    QStringLiteral("IP ADDRESS IS:"),
    QStringLiteral("IP ADDRESS:"),
    QStringLiteral("YOUR IP IS "),
};

// Tried kind by kind: the first kind present wins even when a later kind stands earlier in the window.
const std::array<QString, 5> kTerminators = {
    QStringLiteral("\v"), QStringLiteral("\f"), QStringLiteral(" "), QStringLiteral("<"), QStringLiteral(","),
};

const std::array<QString, 7> kCleanUp = {
    QStringLiteral(" "),    QStringLiteral(":"),   QStringLiteral(","),  QStringLiteral("="),
    QStringLiteral("<BR>"), QStringLiteral("<B>"), QStringLiteral("<P"),
};

constexpr qsizetype kWindowLength = 20;
constexpr qsizetype kTerminatorSearchStart = 6; // the window's 7th character

QString preparedLine(const QString& strIP)
{
    QString line = strIP.toUpper() + QLatin1Char(' ');
    line.remove(QLatin1Char('\t'));
    line.remove(QLatin1Char('\n'));
    line.remove(QLatin1Char('\r'));
    return line;
}

// Where the text after the chosen marker starts in the prepared line; -1 when the marker is absent.
qsizetype afterMarker(const QString& line)
{
    std::size_t marker = 0;
    while (marker + 1 < kMarkers.size() && !line.contains(kMarkers[marker]))
        ++marker;
    const qsizetype index = line.indexOf(kMarkers[marker]);
    return index < 0 ? -1 : index + kMarkers[marker].size();
}

} // namespace

QString Cut_IP_address(const QString& strIP)
{
    const QString line = preparedLine(strIP);
    const qsizetype start = afterMarker(line);
    if (start < 0)
        return {};

    const QString window = line.mid(start, kWindowLength);
    qsizetype end = -1;
    for (const QString& terminator : kTerminators) {
        end = window.indexOf(terminator, kTerminatorSearchStart);
        if (end >= 0)
            break;
    }
    if (end < 0)
        return {};

    QString kept = window.left(end);
    for (const QString& piece : kCleanUp)
        kept.remove(piece);
    return kept;
}

QString Cut_IPv6_address(const QString& strIP)
{
    const QString line = preparedLine(strIP);
    qsizetype at = afterMarker(line);
    if (at < 0)
        return {};
    for (;;) {
        while (at < line.size() &&
               (line[at] == QLatin1Char(' ') || line[at] == QLatin1Char('=') || line[at] == QLatin1Char(',')))
            ++at;
        if (at >= line.size() || line[at] != QLatin1Char('<'))
            break;
        const qsizetype close = line.indexOf(QLatin1Char('>'), at);
        if (close < 0)
            return {};
        at = close + 1;
    }
    const QString found = AddressCheck::leadingAddress(line.mid(at));
    return found.contains(QLatin1Char(':')) ? found.toLower() : QString();
}
