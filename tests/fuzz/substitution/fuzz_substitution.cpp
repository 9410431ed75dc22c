// Arbitrary template bytes and replacement texts through the substitution, read in pieces of any size: with
// both switches off the page is the template with every line ended by CR LF; with them on it equals a plain
// reference replacement that walks the line character by character.
#include "fuzz_check.h"
#include "publish/substitution.h"

#include <QBuffer>

#include <algorithm>

namespace {

// Hands out its bytes a few at a time, as a pipe or a slow disk may, so that lines and CR LF pairs are split
// between reads.
class ChoppedReader : public QIODevice
{
public:
    ChoppedReader(QByteArrayView bytes, qsizetype step) : m_bytes(bytes), m_step(step) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = std::min({maxSize, qint64(m_step), qint64(m_bytes.size() - m_pos)});
        std::copy_n(m_bytes.data() + m_pos, n, data);
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArrayView m_bytes;
    qsizetype m_step;
    qsizetype m_pos = 0;
};

// The template's lines: a line ends at CR or CR LF, a lone LF stays inside it.
QList<QByteArrayView> lines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines << bytes.sliced(start, i - start);
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines << bytes.sliced(start);
    return lines;
}

QByteArray replaced(QByteArrayView line, const MarkerReplacement& replacement, const CodePage& page)
{
    if (replacement.marker.isEmpty())
        return line.toByteArray();
    QByteArray out;
    qsizetype i = 0;
    while (i < line.size()) {
        if (line.sliced(i).startsWith(replacement.marker)) {
            out += replacement.text;
            i += replacement.marker.size();
        } else {
            const qsizetype length = page.charLength(line.data() + i, line.size() - i);
            out += line.sliced(i, length);
            i += length;
        }
    }
    return out;
}

QByteArray take(QByteArrayView& rest, qsizetype size)
{
    size = std::min(size, rest.size());
    const QByteArray taken = rest.first(size).toByteArray();
    rest = rest.sliced(size);
    return taken;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Header: code page and switches, read size, then the lengths of the two markers and their texts.
    if (size < 6)
        return 0;
    const CodePage page(fuzzCodePage(data[0] & 3));
    const bool addressOn = data[0] & 4;
    const bool timeOn = data[0] & 8;
    const qsizetype step = data[1] == 0 ? 1 << 20 : data[1];
    QByteArrayView rest(reinterpret_cast<const char*>(data) + 6, qsizetype(size - 6));
    const MarkerReplacement address{take(rest, data[2] % 8), take(rest, data[3] % 16)};
    const MarkerReplacement time{take(rest, data[4] % 8), take(rest, data[5] % 16)};
    const QByteArrayView templ = rest;

    // As the slot's switches choose them, in the order the page is substituted.
    QList<MarkerReplacement> replacements;
    if (addressOn)
        replacements << address;
    if (timeOn)
        replacements << time;

    ChoppedReader in(templ, step);
    in.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    FUZZ_CHECK(substituteStream(in, out, replacements, page), QStringLiteral("the copy failed"));

    QByteArray expected;
    for (QByteArrayView line : lines(templ)) {
        QByteArray result = line.toByteArray();
        for (const MarkerReplacement& replacement : replacements)
            result = replaced(result, replacement, page);
        expected += result + "\r\n";
    }
    FUZZ_CHECK(out.data() == expected,
               QStringLiteral("code page %1, read size %2\naddress %3 -> %4\ntime %5 -> %6\ntemplate %7\nexpected %8\n"
                              "actual   %9")
                   .arg(QString::fromLatin1(page.name()))
                   .arg(step)
                   .arg(addressOn ? fuzzShow(address.marker) : QStringLiteral("(off)"), fuzzShow(address.text),
                        timeOn ? fuzzShow(time.marker) : QStringLiteral("(off)"), fuzzShow(time.text), fuzzShow(templ),
                        fuzzShow(expected), fuzzShow(out.data())));
    return 0;
}
