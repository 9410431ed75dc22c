#include "platform/gui/shell_open.h"
#include "test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestShellOpen : public QObject
{
    Q_OBJECT
private:
    TemporaryWorkDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { ShellOpen::setRecorder({}); }

    void targetUrl_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("url"); // "%CWD%" stands for the current directory
        QTest::newRow("web address") << "http://example.invalid/page.html"
                                     << "http://example.invalid/page.html";
        QTest::newRow("secure address") << "https://example.invalid/a?b=c"
                                        << "https://example.invalid/a?b=c";
        QTest::newRow("file address") << "file:///tmp/README.md"
                                      << "file:///tmp/README.md";
        QTest::newRow("bare name, current directory") << "index.html"
                                                      << "file://%CWD%/index.html";
        QTest::newRow("relative with folder") << "sub/index.html"
                                              << "file://%CWD%/sub/index.html";
        QTest::newRow("absolute path") << "/srv/www/index.html"
                                       << "file:///srv/www/index.html";
        QTest::newRow("blanks in the name") << "my page.html"
                                            << "file://%CWD%/my%20page.html";
        QTest::newRow("Japanese name") << "テンプレート.html"
                                       << QString("file://%CWD%/") + QUrl::toPercentEncoding("テンプレート") + ".html";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blanks only") << "   "
                                     << "";
    }
    void targetUrl()
    {
        QFETCH(QString, target);
        QFETCH(QString, url);
        url.replace("%CWD%", QString::fromUtf8(QUrl::toPercentEncoding(QDir::currentPath(), "/")));
        QCOMPARE(ShellOpen::targetUrl(target).toString(QUrl::FullyEncoded), url);
    }

    void driveLetterIsAFileName()
    {
        const QUrl url = ShellOpen::targetUrl(QStringLiteral("C:\\web\\index.html"));
        QVERIFY(url.isLocalFile());
    }

    void requestReachesTheRecorder()
    {
        QList<QUrl> opened;
        ShellOpen::setRecorder([&](const QUrl& url) { opened << url; });
        shellOpen(QStringLiteral("index.html"));
        shellOpen(QString());
        shellOpen(QStringLiteral("http://example.invalid/"));
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(0), QUrl::fromLocalFile(m_dir.filePath("index.html")));
        QCOMPARE(opened.at(1), QUrl(QStringLiteral("http://example.invalid/")));
    }
};

QTEST_MAIN(TestShellOpen)
#include "test_shell_open.moc"
