#include "publish/substitution.h"

#include "run/engine.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>

namespace {

constexpr qsizetype ReadChunk = 256 * 1024;
constexpr qsizetype WriteChunk = 256 * 1024;

// Replaces one marker in `line`, appending the result to `out`.
void replaceMarker(QByteArrayView line, const MarkerReplacement& replacement, const CodePage& page,
                   QByteArray& out)
{
    const QByteArrayView marker(replacement.marker);
    const char* data = line.data();
    const qsizetype size = line.size();
    qsizetype copied = 0;   // bytes of the line already in `out`
    qsizetype boundary = 0; // a character boundary at or before every candidate still to come
    qsizetype from = 0;
    while (from < size) {
        const qsizetype found = line.indexOf(marker, from);
        if (found < 0)
            break;
        // Walk the characters up to the candidate: under Shift_JIS an ASCII letter may be the second byte of
        // a double-byte character, and such a match is not the marker.
        while (boundary < found) {
            const auto byte = static_cast<unsigned char>(data[boundary]);
            boundary += byte < 0x80 ? 1 : page.charLength(data + boundary, size - boundary);
        }
        if (boundary != found) {
            from = found + 1;
            continue;
        }
        out.append(data + copied, found - copied);
        out.append(replacement.text);
        copied = found + marker.size();
        boundary = copied;
        from = copied;
    }
    out.append(data + copied, size - copied);
}

} // namespace

void substituteLine(QByteArrayView line, const QList<MarkerReplacement>& replacements, const CodePage& page,
                    QByteArray& out)
{
    QByteArray current;
    QByteArray next;
    bool replaced = false;
    for (const MarkerReplacement& replacement : replacements) {
        if (replacement.marker.isEmpty())
            continue;
        const QByteArrayView source = replaced ? QByteArrayView(current) : line;
        if (!source.contains(QByteArrayView(replacement.marker)))
            continue;
        next.clear();
        replaceMarker(source, replacement, page, next);
        current.swap(next);
        replaced = true;
    }
    if (replaced)
        out.append(current);
    else
        out.append(line.data(), line.size());
}

bool substituteStream(QIODevice& in, QIODevice& out, const QList<MarkerReplacement>& replacements,
                      const CodePage& page, QString* error)
{
    QByteArray chunk(ReadChunk, Qt::Uninitialized);
    QByteArray pending; // the start of a line that continues in the next chunk
    QByteArray output;
    output.reserve(WriteChunk + ReadChunk);
    bool skipLf = false; // the previous chunk ended in CR, whose LF may open this one

    const auto fail = [&](const QIODevice& device) {
        if (error)
            *error = device.errorString();
        return false;
    };
    const auto flush = [&]() {
        if (out.write(output) != output.size())
            return false;
        output.clear();
        return true;
    };
    const auto emitLine = [&](QByteArrayView line) {
        substituteLine(line, replacements, page, output);
        output.append("\r\n", 2);
    };

    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            return fail(in);
        if (got == 0)
            break;
        const char* data = chunk.constData();
        qsizetype pos = 0;
        if (skipLf && data[0] == '\n')
            pos = 1;
        skipLf = false;
        while (pos < got) {
            const auto* cr = static_cast<const char*>(std::memchr(data + pos, '\r', size_t(got - pos)));
            if (!cr) {
                pending.append(data + pos, got - pos);
                break;
            }
            const qsizetype end = cr - data;
            if (pending.isEmpty()) {
                emitLine(QByteArrayView(data + pos, end - pos));
            } else {
                pending.append(data + pos, end - pos);
                emitLine(pending);
                pending.clear();
            }
            pos = end + 1;
            if (pos < got) {
                if (data[pos] == '\n')
                    ++pos;
            } else {
                skipLf = true;
            }
        }
        if (output.size() >= WriteChunk && !flush())
            return fail(out);
    }
    if (!pending.isEmpty())
        emitLine(pending);
    if (!output.isEmpty() && !flush())
        return fail(out);
    return true;
}

qint16 Engine::CHIKAN(qint16 No)
{
    if (No < 0 || No > 8)
        return 0;
    TransferSlot& slot = settings.slot[No];
    const QString tag = QStringLiteral("[設定") + QString::number(No + 1) + QStringLiteral("] ");
    const auto report = [&](const QString& state) {
        slot.ResultText = tag + state + QStringLiteral(" (") + Clock::nowText() + QLatin1Char(')');
        m_view.setFTP_now(slot.ResultText);
    };
    report(QStringLiteral("置換中"));

    QFile templateFile(slot.TEMPLATE);
    // The template is opened first, so that a missing one leaves no work file behind.
    bool ok = !slot.TEMPLATE.isEmpty() && templateFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (ok) {
        // Written aside and renamed over: a failure keeps the previous work file whole instead of a torn one.
        QSaveFile workFile(slot.TEMPLATE + QStringLiteral("$$") + QString::number(No));
        ok = workFile.open(QIODevice::WriteOnly);
        if (ok) {
            QList<MarkerReplacement> replacements;
            if (slot.HOSTNAMEEXEC == 1)
                replacements.append({m_codePage.encode(slot.HOSTNAME), m_codePage.encode(m_view.CHIKANto0())});
            if (slot.NOWDTTMEXEC == 1)
                replacements.append({m_codePage.encode(slot.NOWDTTM), m_codePage.encode(m_view.CHIKANto1())});
            ok = substituteStream(templateFile, workFile, replacements, m_codePage) && workFile.commit();
            if (!ok)
                workFile.cancelWriting();
        }
    }
    if (!ok) {
        report(QStringLiteral("置換失敗"));
        return -1;
    }
    report(QStringLiteral("置換完了"));
    return 0;
}
