#include "platform/sftp_channel.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <algorithm>
#include <climits>

namespace {

constexpr quint32 SftpVersion = 3;
constexpr qint64 WriteBlock = 32768; // what every server takes in one request
constexpr size_t WritesInFlight = 16;
// Replies to our requests are small; anything longer is no SFTP server talking.
constexpr quint32 LongestReply = 1 << 20;

void putU32(QByteArray& out, quint32 value)
{
    out += char(value >> 24);
    out += char(value >> 16);
    out += char(value >> 8);
    out += char(value);
}

void putU64(QByteArray& out, quint64 value)
{
    putU32(out, quint32(value >> 32));
    putU32(out, quint32(value));
}

void putString(QByteArray& out, QByteArrayView bytes)
{
    putU32(out, quint32(bytes.size()));
    out += bytes;
}

quint32 readU32(const char* data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | quint32(bytes[3]);
}

// Reads the fields of a packet's body in turn; a field running past the end leaves ok() false.
class Fields
{
public:
    explicit Fields(const QByteArray& bytes) : m_bytes(bytes) {}

    quint32 u32()
    {
        if (m_bytes.size() - m_at < 4) {
            m_ok = false;
            return 0;
        }
        const quint32 value = readU32(m_bytes.constData() + m_at);
        m_at += 4;
        return value;
    }
    QByteArray string()
    {
        const quint32 size = u32();
        if (!m_ok || size > quint64(m_bytes.size() - m_at)) {
            m_ok = false;
            return {};
        }
        const QByteArray value = m_bytes.mid(m_at, qsizetype(size));
        m_at += qsizetype(size);
        return value;
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at >= m_bytes.size(); }

private:
    const QByteArray& m_bytes;
    qsizetype m_at = 0;
    bool m_ok = true;
};

QString protocolError()
{
    return QStringLiteral("サーバーの SFTP の応答が読めません");
}

} // namespace

SftpChannel::SftpChannel(void* session, const Limits& limits) : m_session(session), m_limits(limits) {}

SftpChannel::~SftpChannel()
{
    if (m_channel)
        ssh_channel_free(static_cast<ssh_channel>(m_channel));
}

SftpChannel::Clock::time_point SftpChannel::responseDeadline() const
{
    return Clock::now() + std::chrono::milliseconds(m_limits.responseMs);
}

SftpChannel::Reply SftpChannel::lostFromSession() const
{
    return Reply::lost(QString::fromUtf8(ssh_get_error(m_session)));
}

SftpChannel::Reply SftpChannel::start()
{
    auto* session = static_cast<ssh_session>(m_session);
    ssh_channel channel = ssh_channel_new(session);
    if (!channel)
        return lostFromSession();
    m_channel = channel;
    if (ssh_channel_open_session(channel) != SSH_OK)
        return lostFromSession();
    if (ssh_channel_request_subsystem(channel, "sftp") != SSH_OK) {
        Reply refused = lostFromSession();
        if (ssh_is_connected(session))
            refused.kind = Reply::Refused; // the server said no; it may have no SFTP at all
        return refused;
    }
    QByteArray init;
    putU32(init, 5);
    init += char(SSH_FXP_INIT);
    putU32(init, SftpVersion);
    Reply sent = sendPacket(init);
    if (!sent.ok())
        return sent;
    Packet version;
    Reply got = receive(version, responseDeadline());
    if (!got.ok())
        return got;
    if (version.type != SSH_FXP_VERSION)
        return Reply::lost(protocolError());
    // The version's body has no request id: receive() took the version number for one.
    Fields fields(version.body);
    while (!fields.atEnd()) {
        const QByteArray name = fields.string();
        const QByteArray data = fields.string();
        if (!fields.ok())
            return Reply::lost(protocolError());
        m_extensions[name] = data;
    }
    return {};
}

SftpChannel::Reply SftpChannel::sendPacket(const QByteArray& packet)
{
    const int written =
        ssh_channel_write(static_cast<ssh_channel>(m_channel), packet.constData(), uint32_t(packet.size()));
    if (written != int(packet.size()))
        return written == SSH_ERROR
                   ? lostFromSession()
                   : Reply::lost(QStringLiteral("サーバーが受け取りません (%1 秒)").arg(m_limits.responseMs / 1000));
    return {};
}

SftpChannel::Reply SftpChannel::send(quint8 type, const QByteArray& body, quint32& id)
{
    id = m_nextId++;
    QByteArray packet;
    putU32(packet, quint32(body.size() + 5));
    packet += char(type);
    putU32(packet, id);
    packet += body;
    return sendPacket(packet);
}

SftpChannel::Reply SftpChannel::receive(Packet& packet, Clock::time_point deadline)
{
    auto* channel = static_cast<ssh_channel>(m_channel);
    for (;;) {
        if (m_inbox.size() >= 4) {
            const quint32 size = readU32(m_inbox.constData());
            if (size < 5 || size > LongestReply)
                return Reply::lost(protocolError());
            if (quint64(m_inbox.size()) >= 4 + quint64(size)) {
                packet.type = quint8(m_inbox[4]);
                packet.id = readU32(m_inbox.constData() + 5);
                packet.body = m_inbox.mid(9, qsizetype(size) - 5);
                m_inbox.remove(0, qsizetype(size) + 4);
                return {};
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Reply::lost(QStringLiteral("サーバーが応答しません"), true);
        char buffer[16384];
        const int got =
            ssh_channel_read_timeout(channel, buffer, sizeof buffer, 0, int(std::min<qint64>(left, INT_MAX)));
        if (got < 0)
            return lostFromSession();
        if (got == 0 && (ssh_channel_is_eof(channel) || ssh_channel_is_closed(channel)))
            return Reply::lost(QStringLiteral("サーバーが SFTP を閉じました"));
        m_inbox.append(buffer, got);
    }
}

SftpChannel::Reply SftpChannel::request(quint8 type, const QByteArray& body, Packet& answer)
{
    quint32 id = 0;
    Reply sent = send(type, body, id);
    if (!sent.ok())
        return sent;
    const auto deadline = responseDeadline();
    for (;;) {
        Reply got = receive(answer, deadline);
        if (!got.ok())
            return got;
        if (answer.id == id)
            return {};
        // A reply to a request given up before (a write after a refused one) is of no more interest.
        if (answer.id >= id)
            return Reply::lost(protocolError());
    }
}

SftpChannel::Reply SftpChannel::statusRequest(quint8 type, const QByteArray& body)
{
    Packet answer;
    Reply got = request(type, body, answer);
    if (!got.ok())
        return got;
    if (answer.type != SSH_FXP_STATUS)
        return Reply::lost(protocolError());
    Fields fields(answer.body);
    Reply status;
    status.status = fields.u32();
    if (!fields.ok())
        return Reply::lost(protocolError());
    status.message = fields.string(); // servers of the first drafts send none
    if (status.status != SSH_FX_OK)
        status.kind = Reply::Refused;
    return status;
}

SftpChannel::Reply SftpChannel::create(const QByteArray& path, QByteArray& handle)
{
    QByteArray body;
    putString(body, path);
    putU32(body, SSH_FXF_WRITE | SSH_FXF_CREAT | SSH_FXF_TRUNC);
    putU32(body, SSH_FILEXFER_ATTR_PERMISSIONS);
    putU32(body, 0644);
    Packet answer;
    Reply got = request(SSH_FXP_OPEN, body, answer);
    if (!got.ok())
        return got;
    Fields fields(answer.body);
    if (answer.type == SSH_FXP_HANDLE) {
        handle = fields.string();
        return fields.ok() ? Reply() : Reply::lost(protocolError());
    }
    if (answer.type != SSH_FXP_STATUS)
        return Reply::lost(protocolError());
    Reply refused;
    refused.kind = Reply::Refused;
    refused.status = fields.u32();
    refused.message = fields.string();
    if (refused.status == SSH_FX_OK)
        return Reply::lost(protocolError());
    return refused;
}

SftpChannel::Reply SftpChannel::writeAll(const QByteArray& handle, QIODevice& source, bool& localFailure)
{
    using std::chrono::milliseconds;
    std::map<quint32, qint64> inFlight; // request id: bytes
    quint64 offset = 0;
    bool sourceDone = false;
    Reply refusal;
    const qint64 periodNeeds =
        std::max<qint64>(1, qint64(m_limits.lowSpeedBytes) * std::max(m_limits.lowSpeedMs, 1000) / 1000);
    auto periodStart = Clock::now();
    qint64 periodBytes = 0;
    QByteArray block(WriteBlock, Qt::Uninitialized);
    for (;;) {
        while (!sourceDone && refusal.ok() && inFlight.size() < WritesInFlight) {
            const qint64 got = source.read(block.data(), WriteBlock);
            if (got < 0) {
                localFailure = true;
                return Reply::lost(source.errorString());
            }
            if (got == 0) {
                sourceDone = true;
                break;
            }
            QByteArray body;
            putString(body, handle);
            putU64(body, offset);
            putString(body, QByteArrayView(block.constData(), got));
            quint32 id = 0;
            Reply sent = send(SSH_FXP_WRITE, body, id);
            if (!sent.ok())
                return sent;
            inFlight[id] = got;
            offset += quint64(got);
        }
        if (inFlight.empty())
            return refusal;
        const auto periodEnd = periodStart + milliseconds(m_limits.lowSpeedMs);
        Packet answer;
        Reply got = receive(answer, periodEnd);
        const auto now = Clock::now();
        if (!got.ok() && !got.timedOut)
            return got;
        if (got.ok()) {
            const auto request = inFlight.find(answer.id);
            if (request == inFlight.end() || answer.type != SSH_FXP_STATUS)
                return Reply::lost(protocolError());
            Fields fields(answer.body);
            const quint32 status = fields.u32();
            if (status != SSH_FX_OK && refusal.ok()) {
                // The rest in flight is answered before the channel serves another request.
                refusal.kind = Reply::Refused;
                refusal.status = status;
                refusal.message = fields.string();
            }
            periodBytes += request->second;
            inFlight.erase(request);
        }
        if (now >= periodEnd) {
            if (periodBytes < periodNeeds)
                return Reply::lost(QStringLiteral("転送が遅すぎます (毎秒 %1 バイト未満が %2 秒)")
                                       .arg(m_limits.lowSpeedBytes)
                                       .arg(m_limits.lowSpeedMs / 1000),
                                   true);
            periodStart = now;
            periodBytes = 0;
        }
    }
}

SftpChannel::Reply SftpChannel::close(const QByteArray& handle)
{
    QByteArray body;
    putString(body, handle);
    return statusRequest(SSH_FXP_CLOSE, body);
}

SftpChannel::Reply SftpChannel::remove(const QByteArray& path)
{
    QByteArray body;
    putString(body, path);
    return statusRequest(SSH_FXP_REMOVE, body);
}

SftpChannel::Reply SftpChannel::rename(const QByteArray& from, const QByteArray& to)
{
    QByteArray body;
    putString(body, from);
    putString(body, to);
    return statusRequest(SSH_FXP_RENAME, body);
}

SftpChannel::Reply SftpChannel::posixRename(const QByteArray& from, const QByteArray& to)
{
    QByteArray body;
    putString(body, QByteArrayLiteral("posix-rename@openssh.com"));
    putString(body, from);
    putString(body, to);
    return statusRequest(SSH_FXP_EXTENDED, body);
}
