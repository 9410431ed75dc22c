#include "ui/file_dialog.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestFileDialog : public QObject
{
    Q_OBJECT
private slots:
    void toQtFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qtFilter");
        QTest::newRow("template dialog") << "HTMLファイル|*.html;*.htm|全てのファイル|*.*"
                                         << "HTMLファイル (*.html *.htm);;全てのファイル (*)";
        QTest::newRow("one entry") << "テキスト|*.txt"
                                   << "テキスト (*.txt)";
        QTest::newRow("description without patterns") << "HTML|*.html|その他"
                                                      << "HTML (*.html);;その他 (*)";
        QTest::newRow("empty pattern list") << "何でも|"
                                            << "何でも (*)";
        QTest::newRow("blanks and doubled separators") << "HTML| *.html ;;*.htm "
                                                       << "HTML (*.html *.htm)";
        QTest::newRow("repeated pattern") << "HTML|*.html;*.html"
                                          << "HTML (*.html)";
        QTest::newRow("empty") << ""
                               << "";
    }
    void toQtFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QString, qtFilter);
        QCOMPARE(FileDialog::toQtFilter(filter), qtFilter);
    }

    void answers_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("expected"); // "%DIR%" stands for the current directory
        QTest::newRow("absolute choice") << "/srv/www/index.html"
                                         << "/srv/www/index.html";
        QTest::newRow("relative choice becomes full path") << "page.html"
                                                           << "%DIR%/page.html";
        QTest::newRow("cancel") << ""
                                << "";
    }
    void answers()
    {
        QFETCH(QString, next);
        QFETCH(QString, expected);
        expected.replace("%DIR%", QDir::currentPath());
        FileDialog::setNextFileName(next);
        QCOMPARE(FileDialog::getOpenFileName(nullptr, QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙの選択"),
                                             QStringLiteral("HTMLファイル|*.html;*.htm|全てのファイル|*.*")),
                 QDir::toNativeSeparators(expected));
        QCOMPARE(FileDialog::lastTitle(), QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙの選択"));
        QCOMPARE(FileDialog::lastQtFilter(), QStringLiteral("HTMLファイル (*.html *.htm);;全てのファイル (*)"));
    }

    // Browsing in the dialog may move the current directory; the program's files are relative to it.
    void currentDirectoryIsPutBack()
    {
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        const QString before = QDir::currentPath();
        FileDialog::setChooser([&](QWidget*, const QString&, const QString&, const QString&) {
            QDir::setCurrent(elsewhere.path());
            return QStringLiteral("chosen.html");
        });
        const QString chosen = FileDialog::getOpenFileName(nullptr, QString(), QString());
        FileDialog::setChooser({});
        QCOMPARE(chosen, QDir::toNativeSeparators(elsewhere.filePath("chosen.html")));
        QCOMPARE(QDir::currentPath(), before);
    }

    void startsOnThePreviousChoice()
    {
        QStringList startFiles;
        QStringList answers{QStringLiteral("/srv/a.html"), QString(), QStringLiteral("/srv/b.html")};
        FileDialog::setChooser([&](QWidget*, const QString&, const QString& start, const QString&) {
            startFiles << start;
            return answers.takeFirst();
        });
        FileDialog::getOpenFileName(nullptr, QString(), QString());
        FileDialog::getOpenFileName(nullptr, QString(), QString()); // cancelled: keeps the previous choice
        FileDialog::getOpenFileName(nullptr, QString(), QString());
        FileDialog::setChooser({});
        QCOMPARE(startFiles.mid(1), (QStringList{QStringLiteral("/srv/a.html"), QStringLiteral("/srv/a.html")}));
    }

    void nextFileNameIsUsedOnce()
    {
        int asked = 0;
        FileDialog::setChooser([&](QWidget*, const QString&, const QString&, const QString&) {
            ++asked;
            return QString();
        });
        FileDialog::setNextFileName(QStringLiteral("/srv/once.html"));
        QCOMPARE(FileDialog::getOpenFileName(nullptr, QString(), QString()),
                 QDir::toNativeSeparators("/srv/once.html"));
        QCOMPARE(asked, 0);
        QCOMPARE(FileDialog::getOpenFileName(nullptr, QString(), QString()), QString());
        QCOMPARE(asked, 1);
        FileDialog::setChooser({});
    }
};

QTEST_MAIN(TestFileDialog)
#include "test_file_dialog.moc"
