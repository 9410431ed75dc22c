#include "app/console_view.h"

#include "run/toolkit.h"
#include "settings/settings_model.h"

#include <QFile>
#include <QStringEncoder>

#include <algorithm>
#include <cstdio>

namespace {

bool isFailureCaption(const QString& caption)
{
    static const QStringList failures{QStringLiteral("失敗"), QStringLiteral("接続不可"), QStringLiteral("未取得")};
    return std::any_of(failures.begin(), failures.end(), [&](const QString& word) { return caption.contains(word); });
}

ConsoleView* messageView = nullptr;

void printMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (messageView)
        messageView->printLine(message, type == QtInfoMsg || type == QtDebugMsg ? ConsoleView::Priority::Info
                                                                               : ConsoleView::Priority::Error);
}

} // namespace

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
    if (messageView == this) {
        qInstallMessageHandler(nullptr);
        messageView = nullptr;
    }
    if (m_ownsStatus)
        delete m_status;
}


void ConsoleView::takeOverMessages()
{
    messageView = this;
    qInstallMessageHandler(printMessage);
}

void ConsoleView::setFTP_now(const QString& caption)
{
    m_ftpNow = caption;
    const Priority priority = isFailureCaption(caption) ? Priority::Error : Priority::Info;
    printLine(stamped(caption), priority);
}

void ConsoleView::setFTP_nowToolTip(const QString& text)
{
    if (isFailureCaption(m_ftpNow) && !text.isEmpty())
        printLine(stamped(QStringLiteral("失敗理由: ") + text));
}

QString ConsoleView::stamped(const QString& line) const
{
    // The journal stamps its entries itself.
    return m_journal ? line : Clock::nowText() + QLatin1Char(' ') + line;
}

void ConsoleView::printLine(const QString& line, Priority priority)
{
    if (m_quiet && priority == Priority::Info)
        return;
    if (m_journal) {
        // One journal entry a line: a line break inside would start an entry without a priority.
        QString entry = line;
        entry.replace(QLatin1Char('\n'), QLatin1Char(' '));
        QStringEncoder encoder(QStringConverter::System);
        m_status->write(encoder.encode(QStringLiteral("<%1>").arg(int(priority)) + entry + QLatin1Char('\n')));
        return;
    }
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
