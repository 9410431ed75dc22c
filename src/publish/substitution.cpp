#include "publish/substitution.h"

#include "platform/regular_file.h"
#include "run/engine.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>

#include <cstring>

namespace {

constexpr qsizetype ReadChunk = 256 * 1024;
constexpr qsizetype WriteChunk = 256 * 1024;

qsizetype find(QByteArrayView haystack, QByteArrayView needle, qsizetype from)
{
#if defined(__GLIBC__)
    const void* hit =
        memmem(haystack.data() + from, size_t(haystack.size() - from), needle.data(), size_t(needle.size()));
    return hit ? static_cast<const char*>(hit) - haystack.data() : -1;
#else
    return haystack.indexOf(needle, from);
#endif
}

// Replaces one marker in `line`, whose first candidate is at `found`, appending the result to `out`.
void replaceMarker(QByteArrayView line, qsizetype found, const MarkerReplacement& replacement, const CodePage& page,
                   QByteArray& out)
{
    const QByteArrayView marker(replacement.marker);
    const char* data = line.data();
    const qsizetype size = line.size();
    qsizetype copied = 0;   // bytes of the line already in `out`
    qsizetype boundary = 0; // a character boundary at or before every candidate still to come
    while (found >= 0) {
        // Walk the characters up to the candidate: under Shift_JIS an ASCII letter may be the second byte of
        // a double-byte character, and such a match is not the marker.
        while (boundary < found) {
            const auto byte = static_cast<unsigned char>(data[boundary]);
            boundary += byte < 0x80 ? 1 : page.charLength(data + boundary, size - boundary);
        }
        if (boundary != found) {
            found = find(line, marker, found + 1);
            continue;
        }
        out.append(data + copied, found - copied);
        out.append(replacement.text);
        copied = found + marker.size();
        boundary = copied;
        found = copied < size ? find(line, marker, copied) : -1;
    }
    out.append(data + copied, size - copied);
}

} // namespace

void substituteLine(QByteArrayView line, const QList<MarkerReplacement>& replacements, const CodePage& page,
                    QByteArray& out)
{
    // Kept between lines, so that a page of many lines costs no allocation per line.
    thread_local QByteArray scratch[2];
    QByteArrayView current = line;
    int next = 0;
    for (const MarkerReplacement& replacement : replacements) {
        if (replacement.marker.isEmpty() || current.size() < replacement.marker.size())
            continue;
        const qsizetype found = find(current, replacement.marker, 0);
        if (found < 0)
            continue;
        QByteArray& target = scratch[next];
        target.resize(0);
        replaceMarker(current, found, replacement, page, target);
        current = target;
        next ^= 1;
    }
    out.append(current.data(), current.size());
}

bool substituteStream(QIODevice& in, QIODevice& out, const QList<MarkerReplacement>& replacements, const CodePage& page,
                      QString* error)
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
        output.resize(0); // keeps the buffer: clear() would free it
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
                pending.resize(0);
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
    const auto report = [&](const QString& state) { reportSlotState(No, state); };
    report(QStringLiteral("置換中"));

    QFile templateFile;
    QString why;
    const QString workName = FileNames::workFile(slot.TEMPLATE, No);
    // The template is opened first, so that a missing one leaves no work file behind.
    bool ok = !slot.TEMPLATE.isEmpty() &&
              RegularFile::openForReading(templateFile, slot.TEMPLATE, &why, RegularFile::Links::Follow,
                                          QIODevice::Unbuffered) &&
              RegularFile::mayReplace(workName, &why);
    if (!why.isEmpty())
        qWarning().noquote() << why;
    if (ok) {
        // Written aside and renamed over: a failure keeps the previous work file whole instead of a torn one.
        // Where the folder is read-only a writable work file is written in place, as nothing can be put aside.
        QSaveFile workFile(RegularFile::saveFileName(workName));
        workFile.setDirectWriteFallback(true);
        ok = workFile.open(QIODevice::WriteOnly);
        if (ok) {
            QList<MarkerReplacement> replacements;
            // The IPv6 marker first: its default, HOSTNAME6, begins with the IPv4 marker's.
            if (slot.HOSTNAME6EXEC == 1)
                replacements.append({m_codePage.encode(slot.HOSTNAME6), m_codePage.encode(m_view.CHIKANto2())});
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
        // The reason stands behind the slot's line as well, without the program name the console needs.
        const QString programName = QStringLiteral("veltora: ");
        reportSlotState(No, QStringLiteral("置換失敗"), why.startsWith(programName) ? why.mid(programName.size()) : why);
        return -1;
    }
    report(QStringLiteral("置換完了"));
    return 0;
}
