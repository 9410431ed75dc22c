#include "ipcheck/page_parser.h"

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

} // namespace

QString Cut_IP_address(const QString& strIP)
{
    QString line = strIP.toUpper() + QLatin1Char(' ');
    line.remove(QLatin1Char('\t'));
    line.remove(QLatin1Char('\n'));
    line.remove(QLatin1Char('\r'));

    std::size_t marker = 0;
    while (marker + 1 < kMarkers.size() && !line.contains(kMarkers[marker]))
        ++marker;

    const qsizetype index = line.indexOf(kMarkers[marker]);
    if (index < 0)
        return {};

    const QString window = line.mid(index + kMarkers[marker].size(), kWindowLength);
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
