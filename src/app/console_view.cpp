#include "app/console_view.h"

#include "run/toolkit.h"
#include "settings/settings_model.h"

#include <QFile>
#include <QStringEncoder>

#include <algorithm>
#include <cstdio>

ConsoleView::ConsoleView(QIODevice* status) : m_status(status)
{
    if (!m_status) {
        auto* standardError = new QFile;
        standardError->open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
        m_status = standardError;
        m_ownsStatus = true;
    }
}

ConsoleView::~ConsoleView()
{
    if (m_ownsStatus)
        delete m_status;
}

void ConsoleView::setFTP_now(const QString& caption)
{
    m_ftpNow = caption;
    printLine(Clock::nowText() + QLatin1Char(' ') + caption);
}

void ConsoleView::setFTP_nowToolTip(const QString& text)
{
    static const QStringList failures{QStringLiteral("失敗"), QStringLiteral("接続不可"), QStringLiteral("未取得")};
    const bool failed = std::any_of(failures.begin(), failures.end(), [&](const QString& word) {
        return m_ftpNow.contains(word);
    });
    if (failed && !text.isEmpty())
        printLine(Clock::nowText() + QStringLiteral(" 失敗理由: ") + text);
}

void ConsoleView::printLine(const QString& line)
{
    // The terminal's or the journal's encoding, whatever code page the program's files are in.
    QStringEncoder encoder(QStringConverter::System);
    m_status->write(encoder.encode(line + QLatin1Char('\n')));
}

QString ConsoleView::GlobalURL() const
{
    return m_settings ? m_settings->global.GLOBALURL : QString();
}

bool ConsoleView::UseRoute(int index) const
{
    // As the window's buttons show it: the router (global lookup) unless the file says 1.
    const int selected = m_settings && m_settings->global.USEROUTE == 1 ? 1 : 0;
    return index == selected;
}

QString ConsoleView::TIMERset() const
{
    // A period that is not in the window's list shows there as the default period.
    const QString text = m_settings ? m_settings->global.TIMERSET : QString();
    return timerSetTexts().contains(text) ? text : QStringLiteral("5");
}
