#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;

// The user's guide in a window of the program: the Markdown built into it, drawn with its pictures. Links
// within the guide (its headings, the other language's guide) stay in the window; addresses on the web go to
// the desktop's browser. One window at a time, like the about box; closing it does not end the program.
class GuideWindow : public QWidget
{
    Q_OBJECT
public:
    explicit GuideWindow(QWidget* parent = nullptr);

    // Shows the guide (the Japanese one first), or brings the open window forward.
    static GuideWindow* showGuide();
    static GuideWindow* current();

    // The guide built into the program, in the given language ("ja" or "en").
    static QUrl guideAddress(const QString& language = QStringLiteral("ja"));

    QTextBrowser* browser() const { return m_browser; }
    // Follows a link as a click on it does.
    void follow(const QUrl& link);

private:
    // The heading whose anchor, as the guide's links write it, is fragment; false when there is none.
    bool scrollToHeading(const QString& fragment);

    QTextBrowser* m_browser;
};
