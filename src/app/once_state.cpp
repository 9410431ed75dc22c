#include "app/once_state.h"

#include "platform/regular_file.h"
#include "run/file_names.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

namespace {

constexpr QByteArrayView Header = "VELTORA-STATE 1";
constexpr QByteArrayView Header6 = "VELTORA-STATE 2";
constexpr QByteArrayView AddressKey = "ADDRESS=";
constexpr QByteArrayView Address6Key = "ADDRESS6=";
constexpr QByteArrayView SentKey = "SENT=";

// The longest address text kept; the label never holds more than an address or a failure word.
constexpr qsizetype MaxAddressBytes = 1024;

} // namespace

QByteArray formatState(const OnceState& state)
{
    const bool ipv6 = !state.lastAddress6.isEmpty();
    QByteArray bytes = (ipv6 ? Header6 : Header).toByteArray() + '\n';
    bytes += AddressKey.toByteArray() + QUrl::toPercentEncoding(state.lastAddress) + '\n';
    if (ipv6)
        bytes += Address6Key.toByteArray() + QUrl::toPercentEncoding(state.lastAddress6) + '\n';
    bytes += SentKey.toByteArray();
    for (bool sent : state.changeSent)
        bytes += sent ? '1' : '0';
    bytes += '\n';
    return bytes;
}

namespace {

// The text after key on line, as formatState() writes it; none when the line is not that.
std::optional<QString> addressLine(const QByteArray& line, QByteArrayView key)
{
    if (!line.startsWith(key) || line.size() - key.size() > MaxAddressBytes)
        return std::nullopt;
    const QByteArray encoded = line.mid(key.size());
    QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
    // Only what formatState() writes: bytes that do not encode back the same are a damaged file.
    if (QUrl::toPercentEncoding(text) != encoded)
        return std::nullopt;
    return text;
}

} // namespace

std::optional<OnceState> readState(QByteArrayView bytes)
{
    QList<QByteArray> lines = bytes.toByteArray().split('\n');
    // Format 1: three lines, format 2: four, each LF ended: a file cut off while being written elsewhere is no
    // state.
    const bool ipv6 = !lines.isEmpty() && lines[0] == Header6;
    const qsizetype count = ipv6 ? 5 : 4;
    if (lines.size() != count || !lines.back().isEmpty() || (lines[0] != Header && !ipv6))
        return std::nullopt;
    OnceState state;
    const auto address = addressLine(lines[1], AddressKey);
    if (!address)
        return std::nullopt;
    state.lastAddress = *address;
    if (ipv6) {
        const auto address6 = addressLine(lines[2], Address6Key);
        if (!address6 || address6->isEmpty())
            return std::nullopt;
        state.lastAddress6 = *address6;
    }
    const QByteArray& sent = lines[count - 2];
    if (!sent.startsWith(SentKey) || sent.size() - SentKey.size() != SlotCount)
        return std::nullopt;
    for (int s = 0; s < SlotCount; ++s) {
        const char flag = sent[SentKey.size() + s];
        if (flag != '0' && flag != '1')
            return std::nullopt;
        state.changeSent[s] = flag == '1';
    }
    return state;
}

std::optional<OnceState> loadState()
{
    const QString name = QString::fromLatin1(FileNames::State);
    QFile file;
    QString why;
    if (!RegularFile::openForReading(file, name, &why, RegularFile::Links::Refuse)) {
        // Missing is the first run; anything else in its place is worth a word.
        if (const QFileInfo info(name); info.exists() || info.isSymLink())
            qWarning().noquote() << why;
        return std::nullopt;
    }
    const QByteArray bytes = file.read(MaxStateFileSize + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > MaxStateFileSize)
        return std::nullopt;
    return readState(bytes);
}

bool saveState(const OnceState& state)
{
    QString why;
    if (!RegularFile::mayReplace(QString::fromLatin1(FileNames::State), &why)) {
        qWarning().noquote() << why;
        return false;
    }
    QSaveFile file(RegularFile::saveFileName(QString::fromLatin1(FileNames::State)));
    // A folder that is read-only but holds a writable state file is written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = formatState(state);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
