#include "ui/guide_window.h"

#include "ui/controls.h"

#include "platform/gui/shell_open.h"

#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

// Resources of a static library are registered by hand; the macro must stand outside any namespace.
static void initGuide()
{
    Q_INIT_RESOURCE(guide);
}

namespace {

QPointer<GuideWindow> s_current;

// The anchor a heading gets where the guide is written and read on the web: lower case, blanks as hyphens,
// punctuation dropped (letters of every script stay).
QString anchorOf(const QString& heading)
{
    QString anchor;
    for (const QChar c : heading.trimmed().toLower()) {
        if (c.isLetterOrNumber() || c == u'-' || c == u'_')
            anchor += c;
        else if (c == u' ')
            anchor += u'-';
    }
    return anchor;
}

} // namespace

GuideWindow::GuideWindow(QWidget* parent) : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this))
{
    initGuide();
    setObjectName(QStringLiteral("GuideWindow"));
    setWindowTitle(QStringLiteral("Veltora 利用ガイド"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the guide while the main window lies hidden in the tray must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &GuideWindow::follow);
    m_browser->setSource(guideAddress(), QTextDocument::MarkdownResource);
    resize(860, 640);
}

GuideWindow* GuideWindow::showGuide()
{
    if (!s_current) {
        s_current = new GuideWindow;
        centreOnScreen(s_current);
    }
    s_current->show();
    s_current->raise();
    s_current->activateWindow();
    return s_current;
}

GuideWindow* GuideWindow::current()
{
    return s_current;
}

QUrl GuideWindow::guideAddress(const QString& language)
{
    return QUrl(QStringLiteral("qrc:/guide/guide.%1.md").arg(language));
}

void GuideWindow::follow(const QUrl& link)
{
    const QUrl target = m_browser->source().resolved(link);
    if (target.scheme() != u"qrc") {
        shellOpen(link.toString()); // the web, in the desktop's browser
        return;
    }
    if (target.adjusted(QUrl::RemoveFragment) != m_browser->source().adjusted(QUrl::RemoveFragment))
        m_browser->setSource(target.adjusted(QUrl::RemoveFragment), QTextDocument::MarkdownResource);
    if (target.hasFragment())
        scrollToHeading(target.fragment(QUrl::FullyDecoded));
    else
        m_browser->verticalScrollBar()->setValue(0);
}

bool GuideWindow::scrollToHeading(const QString& fragment)
{
    for (QTextBlock block = m_browser->document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0 || anchorOf(block.text()) != fragment)
            continue;
        QTextCursor cursor(block);
        m_browser->setTextCursor(cursor);
        // The heading at the top of the window, not merely somewhere in it.
        m_browser->verticalScrollBar()->setValue(m_browser->verticalScrollBar()->maximum());
        m_browser->ensureCursorVisible();
        return true;
    }
    return false;
}
