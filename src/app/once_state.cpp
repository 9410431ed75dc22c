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
constexpr QByteArrayView AddressKey = "ADDRESS=";
constexpr QByteArrayView SentKey = "SENT=";

// The longest address text kept; the label never holds more than an address or a failure word.
constexpr qsizetype MaxAddressBytes = 1024;

} // namespace

QByteArray formatState(const OnceState& state)
{
    QByteArray bytes = Header.toByteArray() + '\n';
    bytes += AddressKey.toByteArray() + QUrl::toPercentEncoding(state.lastAddress) + '\n';
    bytes += SentKey.toByteArray();
    for (bool sent : state.changeSent)
        bytes += sent ? '1' : '0';
    bytes += '\n';
    return bytes;
}

std::optional<OnceState> readState(QByteArrayView bytes)
{
    const QList<QByteArray> lines = bytes.toByteArray().split('\n');
    // Three lines, each LF ended: a file cut off while being written elsewhere is no state.
    if (lines.size() != 4 || !lines[3].isEmpty() || lines[0] != Header)
        return std::nullopt;
    const QByteArray& address = lines[1];
    const QByteArray& sent = lines[2];
    if (!address.startsWith(AddressKey) || address.size() - AddressKey.size() > MaxAddressBytes ||
        !sent.startsWith(SentKey) || sent.size() - SentKey.size() != SlotCount)
        return std::nullopt;

    OnceState state;
    const QByteArray encoded = address.mid(AddressKey.size());
    const QByteArray decoded = QByteArray::fromPercentEncoding(encoded);
    state.lastAddress = QString::fromUtf8(decoded);
    // Only what formatState() writes: bytes that do not encode back the same are a damaged file.
    if (QUrl::toPercentEncoding(state.lastAddress) != encoded)
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
