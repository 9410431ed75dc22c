#include "ipcheck/echo_answer.h"
#include "run/engine.h"

#include <QFile>

#include <exception>
#include <optional>
#include <stdexcept>

namespace {

bool writeAnswer(const QByteArray& bytes)
{
    QFile file(QString::fromLatin1(FileNames::Answer));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

std::optional<QByteArray> readAnswer()
{
    QFile file(QString::fromLatin1(FileNames::Answer));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace

void Engine::GlobalIPaddress()
{
    IpCheckState = 0;
    m_view.setIP_address(QStringLiteral("IPアドレス確認中"));

    QString address;
    bool created = false;
    {
        // Emptied first, so that a failed fetch leaves nothing of an older answer.
        QFile file(QString::fromLatin1(FileNames::Answer));
        created = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    if (!created) {
        IpCheckState = -1;
    } else {
        try {
            Inet1.setAccessType(0);
            Toolkit::yieldOnce();
            const QString url = m_view.GlobalURL();
            Toolkit::yieldOnce();
            // A close handled in the yields above has already cancelled what was running: nothing is fetched.
            if (m_stopRequested)
                throw std::runtime_error("stopped");
            const std::optional<QByteArray> body = Inet1.OpenURL(url);
            Toolkit::yieldOnce();
            if (!body || !writeAnswer(*body))
                throw std::runtime_error("fetch failed");
            Toolkit::yieldTimes(3001);

            const std::optional<QByteArray> answer = readAnswer();
            if (!answer)
                throw std::runtime_error("answer unreadable");
            address = EchoAnswer::address(*answer, m_codePage);
            IpCheckState = address.isEmpty() ? 0 : 1;
        } catch (const std::exception&) {
            IpCheckState = -1;
        }
    }

    const QString now = Clock::nowText();
    switch (IpCheckState) {
    case 1:
        m_view.setIP_address(address);
        m_view.setCHIKANto0(address);
        break;
    case 0:
        m_view.setIP_address(QStringLiteral("未取得"));
        m_view.setCHIKANto0(QStringLiteral("HOSTNAME"));
        break;
    default:
        m_view.setIP_address(QStringLiteral("接続不可"));
        m_view.setCHIKANto0(QStringLiteral("HOSTNAME"));
        break;
    }
    m_view.setCHIKANto1(now);

    Inet1.Cancel();
}
