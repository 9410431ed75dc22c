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
bool openAnswer(QFile& file, const QString& name)
{
    QString why;
    if (RegularFile::openForWriting(file, name, RegularFile::Write::Empty, &why))
        return true;
    qWarning().noquote() << why;
    return false;
}

bool writeAnswer(const QString& name, const QByteArray& bytes)
{
    QFile file;
    if (!openAnswer(file, name))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

std::optional<QByteArray> readAnswer(const QString& name)
{
    QFile file;
    QString why;
    if (!RegularFile::openForReading(file, name, &why, RegularFile::Links::Refuse)) {
        qWarning().noquote() << why;
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace

Engine::EchoFetch Engine::fetchEchoPage(const std::function<QString()>& url, const char* answerFile)
{
    EchoFetch fetch;
    const QString name = QString::fromLatin1(answerFile);
    {
        // Emptied first, so that a failed fetch leaves nothing of an older answer.
        QFile file;
        if (!openAnswer(file, name)) {
            fetch.reason = name + QStringLiteral(" に書き込めません");
            return fetch;
        }
    }
    try {
        Inet1.setAccessType(0);
        Toolkit::yieldOnce();
        const QString address = url();
        Toolkit::yieldOnce();
        // A close handled in the yields above has already cancelled what was running: nothing is fetched.
        fetch.interrupted = m_stopRequested;
        if (fetch.interrupted)
            throw std::runtime_error("stopped");
        const std::optional<QByteArray> body = Inet1.OpenURL(address);
        // A close cancels a fetch under way: the page did not fail to answer, it was not waited for.
        fetch.interrupted = !body && m_stopRequested;
        Toolkit::yieldOnce();
        if (!body) {
            fetch.reason = Inet1.lastFailure().text();
            throw std::runtime_error("fetch failed");
        }
        if (!writeAnswer(name, *body)) {
            fetch.reason = name + QStringLiteral(" に書き込めません");
            throw std::runtime_error("answer not kept");
        }
        Toolkit::yieldTimes(3001);

        fetch.answer = readAnswer(name);
        if (!fetch.answer) {
            fetch.reason = name + QStringLiteral(" を読めません");
            throw std::runtime_error("answer unreadable");
        }
    } catch (const std::exception&) {
        fetch.answer.reset();
    }
    return fetch;
}

void Engine::GlobalIPaddress()
{
    // What a check cut short by a close gives back: it found nothing out, so it reports nothing either.
    const qint16 previousState = IpCheckState;
    const QString previousCaption = m_view.IP_address();
    m_lookupInterrupted = false;
    IpCheckState = 0;
    m_view.setIP_address(QStringLiteral("IPアドレス確認中"));

    // With IPv6 looked up too, the IPv4 page is asked over IPv4 only, so that the two cannot be confused.
    Inet1.setIpFamily(settings.global.USEIPV6 == Ipv6Off ? HttpTransfer::IpFamily::Any : HttpTransfer::IpFamily::V4);
    const EchoFetch fetch = fetchEchoPage([this] { return m_view.GlobalURL(); }, FileNames::Answer);
    QString address;
    if (fetch.answer) {
        address = EchoAnswer::address(*fetch.answer, m_codePage,
                                      settings.global.USEIPV6 == Ipv6Off ? EchoAnswer::Family::Any
                                                                         : EchoAnswer::Family::Ipv4);
        IpCheckState = address.isEmpty() ? 0 : 1;
    } else {
        IpCheckState = -1;
    }
    if (fetch.interrupted) {
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
        IpCheckReason = fetch.reason.isEmpty() ? QStringLiteral("エコーページを取得できません") : fetch.reason;
        showAddress(QStringLiteral("接続不可"), IpCheckReason);
        m_view.setCHIKANto0(QStringLiteral("HOSTNAME"));
        break;
    }
    m_view.setCHIKANto1(now);

    Inet1.Cancel();
}

void Engine::GlobalIPv6address()
{
    const qint16 previousState = IpCheckState6;
    const QString previousCaption = m_view.IP_address6();
    m_lookupInterrupted = false;
    IpCheckState6 = 0;
    m_view.setIP_address6(QStringLiteral("IPアドレス確認中"));

    Inet1.setIpFamily(HttpTransfer::IpFamily::V6);
    const EchoFetch fetch = fetchEchoPage([this] { return settings.global.GLOBALURL6; }, FileNames::Answer6);
    Inet1.setIpFamily(HttpTransfer::IpFamily::Any);
    QString address;
    if (fetch.answer) {
        address = EchoAnswer::address(*fetch.answer, m_codePage, EchoAnswer::Family::Ipv6);
        IpCheckState6 = address.isEmpty() ? 0 : 1;
    } else {
        IpCheckState6 = -1;
    }
    if (fetch.interrupted) {
        IpCheckState6 = previousState;
        m_view.setIP_address6(previousCaption);
        m_lookupInterrupted = true;
        Inet1.Cancel();
        return;
    }

    switch (IpCheckState6) {
    case 1:
        IpCheckReason6.clear();
        showAddress6(address, Clock::nowText() + QStringLiteral(" にエコーページで確認しました"));
        m_view.setCHIKANto2(address);
        break;
    case 0:
        IpCheckReason6 = QStringLiteral("エコーページの応答に IPv6 アドレスがありません");
        showAddress6(QStringLiteral("未取得"), IpCheckReason6);
        m_view.setCHIKANto2(QStringLiteral("HOSTNAME6"));
        break;
    default:
        IpCheckReason6 = fetch.reason.isEmpty() ? QStringLiteral("エコーページを取得できません") : fetch.reason;
        showAddress6(QStringLiteral("接続不可"), IpCheckReason6);
        m_view.setCHIKANto2(QStringLiteral("HOSTNAME6"));
        break;
    }
    Inet1.Cancel();
}
