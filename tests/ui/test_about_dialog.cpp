#include "platform/gui/shell_open.h"
#include "test_timeouts.h"
#include "ui/about_dialog.h"
#include "ui/guide_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

class TestAboutDialog : public QObject
{
    Q_OBJECT
private:
    static void closeCurrent()
    {
        if (Dialog* dialog = Dialog::current()) {
            QPointer<Dialog> guard(dialog);
            dialog->close();
            QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), scaledMs(5000));
        }
    }

private slots:
    void cleanup()
    {
        closeCurrent();
        ShellOpen::setRecorder({});
    }

    void window()
    {
        Dialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Veltora バージョン情報"));
        QCOMPARE(dialog.objectName(), QStringLiteral("Dialog"));
        QCOMPARE(dialog.size(), QSize(404, 114));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        const Qt::WindowFlags flags = dialog.windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool); // kept out of the taskbar
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!dialog.isModal());
        QVERIFY(dialog.parentWidget() == nullptr);
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("Command1") << "Command1" << QRect(315, 42, 81, 25) << "ﾎｰﾑﾍﾟｰｼﾞ";
        QTest::newRow("Text1") << "Text1" << QRect(49, 63, 197, 18) << QString();
        QTest::newRow("OKButton") << "OKButton" << QRect(315, 8, 81, 25) << "OK";
        QTest::newRow("Label3") << "Label3" << QRect(63, 28, 99, 15) << "Veltora";
        QTest::newRow("Label2") << "Label2" << QRect(14, 91, 246, 15) << "Veltora の開発者";
        QTest::newRow("LblStatus") << "LblStatus" << QRect(238, 35, 57, 15) << "ver.0.5.1";
        QTest::newRow("Label1") << "Label1" << QRect(63, 7, 225, 22) << "自宅Webサーバ構築運営ツール";
        QTest::newRow("Image2") << "Image2" << QRect(273, 84, 125, 32) << QString();
        QTest::newRow("Image1") << "Image1" << QRect(14, 7, 32, 32) << QString();
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        Dialog dialog;
        auto* widget = dialog.findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        if (auto* label = qobject_cast<QLabel*>(widget); label && !text.isEmpty())
            QCOMPARE(label->text(), text);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            QCOMPARE(button->text(), text);
    }

    // Stacking order: the first control of the list lies on top.
    void stackingOrder()
    {
        Dialog dialog;
        QStringList names;
        for (QObject* child : dialog.children()) {
            if (child->isWidgetType())
                names.prepend(child->objectName());
        }
        QCOMPARE(names, (QStringList{"Command1", "Text1", "OKButton", "Label3", "Label2", "LblStatus", "Label1",
                                     "Image2", "Image1"}));
    }

    void labelFonts()
    {
        Dialog dialog;
        for (QLabel* label : {dialog.Label1, dialog.Label3}) {
            QCOMPARE(label->font().pointSizeF(), 11.25);
            QCOMPARE(label->font().weight(), QFont::Normal);
            QVERIFY(!label->font().italic());
        }
    }

    void okIsDefaultAndFirst()
    {
        Dialog* dialog = Dialog::showDialog();
        QVERIFY(dialog->OKButton->isDefault());
        QVERIFY(!dialog->Command1->isDefault());
        QCOMPARE(dialog->focusWidget(), dialog->OKButton);
        QCOMPARE(dialog->OKButton->nextInFocusChain(), dialog->Command1);
    }

    // The box shows where the installed guide lies, never the source tree of the machine it was built on.
    void homePageIsTheGuide()
    {
        Dialog dialog;
        const QUrl url(dialog.Text1->text());
        QVERIFY(url.isLocalFile());
        QVERIFY2(url.toLocalFile().endsWith(QStringLiteral("/share/doc/veltora/guide.ja.md")), qPrintable(url.toString()));
        QVERIFY(dialog.Text1->isReadOnly());
    }

    // Folders under a temporary root: "prefix" as cmake --install lays it out, "source" as a source tree.
    void guideFile_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("inSourceTree");
        QTest::addColumn<QString>("expected");
        QTest::newRow("installed") << true << false << "prefix/share/doc/veltora/guide.ja.md";
        QTest::newRow("installed, built from a tree still there")
            << true << true << "prefix/share/doc/veltora/guide.ja.md";
        QTest::newRow("build folder: where it belongs, not the source tree")
            << false << true << "prefix/share/doc/veltora/guide.ja.md";
        QTest::newRow("neither: where it belongs") << false << false << "prefix/share/doc/veltora/guide.ja.md";
    }
    void guideFile()
    {
        QFETCH(bool, installed);
        QFETCH(bool, inSourceTree);
        QFETCH(QString, expected);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QDir dir(root.path());
        QVERIFY(dir.mkpath(QStringLiteral("prefix/libexec/veltora")));
        const auto place = [&](const QString& file) {
            QVERIFY(dir.mkpath(QFileInfo(dir.filePath(file)).path()));
            QFile guide(dir.filePath(file));
            QVERIFY(guide.open(QIODevice::WriteOnly));
        };
        if (installed)
            place(QStringLiteral("prefix/share/doc/veltora/guide.ja.md"));
        if (inSourceTree)
            place(QStringLiteral("source/docs/guide.ja.md"));
        QCOMPARE(Dialog::guideFile(dir.filePath(QStringLiteral("prefix/libexec/veltora")),
                                   QStringLiteral("../../share/doc/veltora")),
                 dir.filePath(expected));
    }

    // The guide built into the program, in its own window with its pictures; nothing handed to the desktop.
    void homePageButtonShowsTheGuide_data()
    {
        QTest::addColumn<QString>("link"); // then followed in the guide window
        QTest::addColumn<QString>("shownStart");
        QTest::addColumn<QString>("heading"); // the block the window has scrolled to; empty: none
        QTest::newRow("the guide") << QString() << "Veltora 利用ガイド" << QString();
        QTest::newRow("a heading of the guide") << "#6-起動のしかた" << "Veltora 利用ガイド" << "6. 起動のしかた";
        QTest::newRow("the other language") << "guide.en.md" << "Veltora user's guide" << QString();
    }
    void homePageButtonShowsTheGuide()
    {
        QFETCH(QString, link);
        QFETCH(QString, shownStart);
        QFETCH(QString, heading);
        QList<QUrl> opened;
        ShellOpen::setRecorder([&](const QUrl& url) { opened << url; });
        Dialog* dialog = Dialog::showDialog();
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QPointer<GuideWindow> guide = GuideWindow::current();
        QVERIFY(guide && guide->isVisible());
        if (!link.isEmpty())
            guide->follow(QUrl(link));
        const QTextDocument* document = guide->browser()->document();
        QVERIFY2(document->toPlainText().startsWith(shownStart), qPrintable(document->toPlainText().left(80)));
        const QString picture = shownStart.startsWith(u"Veltora 利用") ? QStringLiteral("images/flow.ja.svg")
                                                                        : QStringLiteral("images/flow.en.svg");
        QVERIFY(!document->resource(QTextDocument::ImageResource, QUrl(picture)).value<QImage>().isNull() ||
                !guide->browser()->loadResource(QTextDocument::ImageResource, QUrl(picture)).isNull());
        if (!heading.isEmpty())
            QCOMPARE(guide->browser()->textCursor().block().text(), heading);
        QCOMPARE(opened, QList<QUrl>());
        QVERIFY(dialog->isVisible()); // stays open
        guide->close();
        QTRY_VERIFY(guide.isNull());
    }

    void oneAtATime()
    {
        Dialog* first = Dialog::showDialog();
        QVERIFY(first->isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr); // the main window stays usable
        QCOMPARE(Dialog::showDialog(), first);
        QCOMPARE(QApplication::topLevelWidgets().count(first), 1);
        int dialogs = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            dialogs += qobject_cast<Dialog*>(widget) != nullptr;
        QCOMPARE(dialogs, 1);
    }

    void closedThenCreatedAfresh_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Esc") << "esc";
        QTest::newRow("close box") << "close";
    }
    void closedThenCreatedAfresh()
    {
        QFETCH(QString, how);
        QPointer<Dialog> first = Dialog::showDialog();
        if (how == "ok")
            QTest::mouseClick(first->OKButton, Qt::LeftButton);
        else if (how == "esc")
            QTest::keyClick(first, Qt::Key_Escape);
        else
            first->close();
        QVERIFY(Dialog::current() == nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), scaledMs(5000)); // unloaded, not merely hidden
        Dialog* second = Dialog::showDialog();
        QVERIFY(second);
        QVERIFY(second->isVisible());
    }

    void enterPressesOk()
    {
        QPointer<Dialog> dialog = Dialog::showDialog();
        QTest::keyClick(dialog, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), scaledMs(5000));
    }
};

QTEST_MAIN(TestAboutDialog)
#include "test_about_dialog.moc"
