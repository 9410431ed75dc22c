#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <chrono>
#include <map>

// The SFTP protocol (version 3, as OpenSSH speaks it) on a channel of an open libssh session: the few requests
// a page needs, each waited for with a time limit. Our own rather than libssh's SFTP client, for what that one
// lacks: OpenSSH's posix-rename, the server's status text, writes that do not wait for each other, and waits
// bounded by the caller's limits.
//
// A reply either comes (Ok, or Refused with the server's status) or the connection is gone (Lost: broken,
// timed out, or cut by the caller shutting the socket down); after Lost the session is closed by the caller.
class SftpChannel
{
public:
    struct Reply
    {
        enum Kind { Ok, Refused, Lost } kind = Ok;
        quint32 status = 0; // SSH_FX_* of a refusal
        QByteArray message; // the server's status text, as it sent it
        QString detail;     // why the connection was lost, in libssh's or our words

        bool timedOut = false; // Lost for want of a reply in time; the channel stays usable

        bool ok() const { return kind == Ok; }
        static Reply lost(const QString& detail, bool timedOut = false) { return {Lost, 0, {}, detail, timedOut}; }
    };

    struct Limits
    {
        int responseMs = 60000; // longest wait for one reply
        int lowSpeedBytes = 1;  // while writing: fewer bytes than this per second ...
        int lowSpeedMs = 60000; // ... over this long give up
    };

    // `session` is a libssh session (ssh_session), logged in; it outlives the channel.
    SftpChannel(void* session, const Limits& limits);
    SftpChannel(const SftpChannel&) = delete;
    SftpChannel& operator=(const SftpChannel&) = delete;
    ~SftpChannel();

    // Opens the channel, asks for the "sftp" subsystem and exchanges versions.
    Reply start();
    bool offers(const QByteArray& extension) const { return m_extensions.count(extension) > 0; }

    // Creates or empties a file for writing; `handle` is set on success.
    Reply create(const QByteArray& path, QByteArray& handle);
    // Writes all of `source` from offset 0, several requests in flight; a local read failure is Lost with
    // `localFailure` set. Fewer bytes taken than Limits::lowSpeedBytes a second (at least one in a period) is Lost.
    Reply writeAll(const QByteArray& handle, QIODevice& source, bool& localFailure);
    Reply close(const QByteArray& handle);
    Reply remove(const QByteArray& path);
    // SFTP's rename, which version 3 servers refuse when `to` exists.
    Reply rename(const QByteArray& from, const QByteArray& to);
    // OpenSSH's rename that replaces `to` in one step; only where offers("posix-rename@openssh.com").
    Reply posixRename(const QByteArray& from, const QByteArray& to);

private:
    struct Packet
    {
        quint8 type = 0;
        quint32 id = 0;
        QByteArray body; // after the type and id
    };
    using Clock = std::chrono::steady_clock;

    Reply sendPacket(const QByteArray& packet);
    Reply send(quint8 type, const QByteArray& body, quint32& id);
    Reply receive(Packet& packet, Clock::time_point deadline);
    Reply request(quint8 type, const QByteArray& body, Packet& answer);
    Reply statusRequest(quint8 type, const QByteArray& body);
    Reply lostFromSession() const;
    Clock::time_point responseDeadline() const;

    void* m_session;
    void* m_channel = nullptr;
    Limits m_limits;
    quint32 m_nextId = 1;
    QByteArray m_inbox; // received bytes not yet taken as a whole packet
    std::map<QByteArray, QByteArray> m_extensions;
};
