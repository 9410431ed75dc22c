#include "ipcheck/echo_answer.h"
#include "platform/regular_file.h"
#include "run/engine.h"

#include <QDebug>
#include <QFile>

#include <exception>
#include <optional>
#include <stdexcept>

namespace {

// The answer file emptied and open for writing; a link or anything but a regular file in its place is refused.
bool openAnswer(QFile& file)
{
    QString why;
    if (RegularFile::openForWriting(file, QString::fromLatin1(FileNames::Answer), RegularFile::Write::Empty, &why))
        return true;
    qWarning().noquote() << why;
    return false;
}

bool writeAnswer(const QByteArray& bytes)
{
    QFile file;
    if (!openAnswer(file))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

std::optional<QByteArray> readAnswer()
{
    QFile file;
    QString why;
    if (!RegularFile::openForReading(file, QString::fromLatin1(FileNames::Answer), &why, RegularFile::Links::Refuse)) {
        qWarning().noquote() << why;
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace

void Engine::GlobalIPaddress()
{
    // What a check cut short by a close gives back: it found nothing out, so it reports nothing either.
    const qint16 previousState = IpCheckState;
    const QString previousCaption = m_view.IP_address();
    m_lookupInterrupted = false;
    IpCheckState = 0;
    m_view.setIP_address(QStringLiteral("IPアドレス確認中"));

    QString address;
    bool interrupted = false;
    bool created = false;
    {
        // Emptied first, so that a failed fetch leaves nothing of an older answer.
        QFile file;
        created = openAnswer(file);
    }
    QString reason;
    if (!created) {
        IpCheckState = -1;
        reason = QStringLiteral("GLOBALIP.TXT に書き込めません");
    } else {
        try {
            Inet1.setAccessType(0);
            Toolkit::yieldOnce();
            const QString url = m_view.GlobalURL();
            Toolkit::yieldOnce();
            // A close handled in the yields above has already cancelled what was running: nothing is fetched.
            interrupted = m_stopRequested;
            if (interrupted)
                throw std::runtime_error("stopped");
            const std::optional<QByteArray> body = Inet1.OpenURL(url);
            // A close cancels a fetch under way: the page did not fail to answer, it was not waited for.
            interrupted = !body && m_stopRequested;
            Toolkit::yieldOnce();
            if (!body) {
                reason = Inet1.lastFailure().text();
                throw std::runtime_error("fetch failed");
            }
            if (!writeAnswer(*body)) {
                reason = QStringLiteral("GLOBALIP.TXT に書き込めません");
                throw std::runtime_error("answer not kept");
            }
            Toolkit::yieldTimes(3001);

            const std::optional<QByteArray> file = readAnswer();
            if (!file) {
                reason = QStringLiteral("GLOBALIP.TXT を読めません");
                throw std::runtime_error("answer unreadable");
            }
            address = EchoAnswer::address(*file, m_codePage);
            IpCheckState = address.isEmpty() ? 0 : 1;
        } catch (const std::exception&) {
            IpCheckState = -1;
        }
    }
    if (interrupted) {
        IpCheckState = previousState;
        m_view.setIP_address(previousCaption);
        m_lookupInterrupted = true;
        Inet1.Cancel();
        return;
    }

    const QString now = Clock::nowText();
    switch (IpCheckState) {
    case 1:
        IpCheckReason.clear();
        showAddress(address, now + QStringLiteral(" にエコーページで確認しました"));
        m_view.setCHIKANto0(address);
        break;
    case 0:
        IpCheckReason = QStringLiteral("エコーページの応答に IP アドレスがありません");
        showAddress(QStringLiteral("未取得"), IpCheckReason);
        m_view.setCHIKANto0(QStringLiteral("HOSTNAME"));
        break;
    default:
        IpCheckReason = reason.isEmpty() ? QStringLiteral("エコーページを取得できません") : reason;
        showAddress(QStringLiteral("接続不可"), IpCheckReason);
        m_view.setCHIKANto0(QStringLiteral("HOSTNAME"));
        break;
    }
    m_view.setCHIKANto1(now);

    Inet1.Cancel();
}
