#include "platform/code_page.h"
#include "platform/gui/text_editor.h"
#include "test_files.h"
#include "test_timeouts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Types over the whole text, as a user would (setPlainText would clear the modified flag).
void typeText(TextEditorWindow* window, const QString& text)
{
    QTextCursor cursor(window->editor()->document());
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
}

} // namespace

class TestTextEditor : public QObject
{
    Q_OBJECT
private:
    TemporaryWorkDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        TextEditor::setRecorder({});
        for (TextEditorWindow* window : TextEditor::openWindows()) {
            window->editor()->document()->setModified(false);
            delete window;
        }
    }

    // Loading and saving without an edit gives back the very same bytes.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("text"); // "\n" stands for the line ends below
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<int>("style");
        const QString japanese = QStringLiteral("<html>表示 ソース\n<p>HOSTNAME 予定 NOWDTTM</p>\n</html>\n");
        QTest::newRow("CR LF, UTF-8") << QByteArray("UTF-8") << japanese << QByteArray("\r\n")
                                      << int(TextEditorWindow::LineEnd::CrLf);
        QTest::newRow("LF, UTF-8") << QByteArray("UTF-8") << japanese << QByteArray("\n")
                                   << int(TextEditorWindow::LineEnd::Lf);
        QTest::newRow("CR LF, windows-31j")
            << QByteArray("windows-31j") << japanese << QByteArray("\r\n") << int(TextEditorWindow::LineEnd::CrLf);
        QTest::newRow("LF, windows-31j") << QByteArray("windows-31j") << japanese << QByteArray("\n")
                                         << int(TextEditorWindow::LineEnd::Lf);
        QTest::newRow("no line end at the end") << QByteArray("UTF-8") << QStringLiteral("a\nb") << QByteArray("\r\n")
                                                << int(TextEditorWindow::LineEnd::CrLf);
        QTest::newRow("byte-order mark kept, UTF-8")
            << QByteArray("UTF-8") << QStringLiteral("\uFEFF<html>表示</html>\n") << QByteArray("\r\n")
            << int(TextEditorWindow::LineEnd::CrLf);
        QTest::newRow("empty lines") << QByteArray("windows-31j") << QStringLiteral("\n\n表\n\n") << QByteArray("\n")
                                     << int(TextEditorWindow::LineEnd::Lf);
    }
    void roundTrip()
    {
        QFETCH(QByteArray, codePage);
        QFETCH(QString, text);
        QFETCH(QByteArray, lineEnd);
        QFETCH(int, style);
        const CodePage page(codePage);
        QByteArray bytes = page.encode(text);
        bytes.replace("\n", lineEnd);
        const QString path = m_dir.filePath("round.html");
        writeBytes(path, bytes);

        TextEditorWindow window(QStringLiteral("round.html"), page);
        QCOMPARE(int(window.lineEnd()), style);
        QCOMPARE(window.editor()->toPlainText(), text);
        QVERIFY(!window.editor()->isReadOnly());
        QVERIFY(window.save());
        QCOMPARE(fileBytes(path), bytes);
    }

    void editedLinesTakeTheFileLineEnd_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("CR LF") << QByteArray("one\r\n") << QByteArray("one\r\nzwei\r\ndrei");
        QTest::newRow("LF") << QByteArray("one\n") << QByteArray("one\nzwei\ndrei");
        QTest::newRow("no line end yet: CR LF") << QByteArray("one") << QByteArray("one\r\nzwei\r\ndrei");
    }
    void editedLinesTakeTheFileLineEnd()
    {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, saved);
        const QString path = m_dir.filePath("edit.txt");
        writeBytes(path, original);
        TextEditorWindow window(QStringLiteral("edit.txt"), CodePage("UTF-8"));
        QTextCursor cursor(window.editor()->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(original.endsWith('\n') ? QStringLiteral("zwei\ndrei") : QStringLiteral("\nzwei\ndrei"));
        QVERIFY(window.isWindowModified());
        QVERIFY(window.save());
        QVERIFY(!window.isWindowModified());
        QCOMPARE(fileBytes(path), saved);
    }

    void missingFileOpensEmptyAndSaveCreatesIt()
    {
        const QString path = m_dir.filePath("Veltora.log");
        QVERIFY(!QFile::exists(path));
        TextEditorWindow window(QStringLiteral("Veltora.log"), CodePage("windows-31j"));
        QVERIFY(window.editor()->toPlainText().isEmpty());
        QVERIFY(!QFile::exists(path)); // opening alone creates nothing
        // A new, untouched file has no unsaved changes: no mark in the title, no question on closing.
        QVERIFY(!window.editor()->document()->isModified());
        QVERIFY(!window.isWindowModified());
        typeText(&window, QStringLiteral("開始\n終了"));
        QVERIFY(window.save());
        QCOMPARE(fileBytes(path), CodePage("windows-31j").encode(QStringLiteral("開始\r\n終了")));
    }

    void nameWithBlanks()
    {
        QStringList requested;
        TextEditor::setRecorder([&](const QString& name) { requested << name; });
        QCOMPARE(openInTextEditor(QStringLiteral("my template.html"), CodePage("UTF-8")), nullptr);
        QCOMPARE(requested, QStringList{QStringLiteral("my template.html")});
        TextEditor::setRecorder({});

        writeBytes(m_dir.filePath("my template.html"), "<p>x</p>\r\n");
        TextEditorWindow* window = openInTextEditor(QStringLiteral("my template.html"), CodePage("UTF-8"));
        QVERIFY(window);
        QCOMPARE(window->filePath(), m_dir.filePath("my template.html"));
        QCOMPARE(window->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("my template.html"));
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("<p>x</p>\n"));
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
    }

    void sameFileReusesItsWindow()
    {
        TextEditorWindow* first = openInTextEditor(QStringLiteral("same.txt"), CodePage("UTF-8"));
        TextEditorWindow* second = openInTextEditor(QStringLiteral("./same.txt"), CodePage("UTF-8"));
        QCOMPARE(second, first);
        QCOMPARE(TextEditor::openWindows().size(), 1);
    }

    void fileStaysPutWhenDirectoryChanges()
    {
        QTemporaryDir other;
        TextEditorWindow window(QStringLiteral("stay.txt"), CodePage("UTF-8"));
        QVERIFY(QDir::setCurrent(other.path()));
        typeText(&window, QStringLiteral("x"));
        const bool saved = window.save();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QVERIFY(saved);
        QVERIFY(QFile::exists(m_dir.filePath("stay.txt")));
        QVERIFY(!QFile::exists(QDir(other.path()).filePath("stay.txt")));
    }

    // Bytes the code page cannot read would be lost by a save: the file is shown read-only and kept.
    void unreadableBytesAreNotRewritten()
    {
        const QByteArray bytes = CodePage("windows-31j").encode(QStringLiteral("表示\r\n"));
        const QString path = m_dir.filePath("sjis.html");
        writeBytes(path, bytes);
        TextEditorWindow window(QStringLiteral("sjis.html"), CodePage("UTF-8"));
        QVERIFY(window.editor()->isReadOnly());
        QVERIFY(!window.statusText().isEmpty());
        QVERIFY(!window.save());
        QCOMPARE(fileBytes(path), bytes);
    }

    void unrepresentableTextIsNotSaved()
    {
        const QString path = m_dir.filePath("emoji.txt");
        writeBytes(path, "old\r\n");
        TextEditorWindow window(QStringLiteral("emoji.txt"), CodePage("windows-31j"));
        typeText(&window, QStringLiteral("new \U0001F600"));
        QVERIFY(!window.save());
        QVERIFY(window.statusText().contains(QStringLiteral("windows-31j")));
        QCOMPARE(fileBytes(path), QByteArray("old\r\n"));
        QVERIFY(window.isWindowModified());
    }

    void saveFailureIsReported()
    {
        TextEditorWindow window(QStringLiteral("no such folder/file.txt"), CodePage("UTF-8"));
        typeText(&window, QStringLiteral("x"));
        QVERIFY(!window.save());
        QVERIFY(window.statusText().startsWith(QStringLiteral("保存できませんでした")));
    }

    void bigFileIsRefused()
    {
        const QString path = m_dir.filePath("big.log");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(TextEditorWindow::MaxFileSize + 1));
        file.close();
        TextEditorWindow window(QStringLiteral("big.log"), CodePage("UTF-8"));
        QVERIFY(window.editor()->toPlainText().isEmpty());
        QVERIFY(window.editor()->isReadOnly());
        QVERIFY(!window.save());
        QCOMPARE(QFileInfo(path).size(), TextEditorWindow::MaxFileSize + 1);
    }

    void saveShortcut()
    {
        TextEditorWindow window(QStringLiteral("shortcut.txt"), CodePage("UTF-8"));
        QAction* save = nullptr;
        for (QAction* action : window.findChildren<QAction*>()) {
            if (action->shortcut() == QKeySequence(QKeySequence::Save))
                save = action;
        }
        QVERIFY(save);
        QCOMPARE(save->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
        typeText(&window, QStringLiteral("saved by the action"));
        save->trigger();
        QCOMPARE(fileBytes(m_dir.filePath("shortcut.txt")), QByteArray("saved by the action"));
    }

    // Only the application's own loop ends the program on the last window, so it runs here.
    void closingWhileMainWindowHiddenKeepsTheProgram()
    {
        QWidget mainWindow;
        mainWindow.show();
        mainWindow.hide(); // in the tray
        QPointer<TextEditorWindow> window = openInTextEditor(QStringLiteral("Veltora.log"), CodePage("UTF-8"));
        QTimer::singleShot(0, window, &QWidget::close);
        QTimer::singleShot(200, [] { QCoreApplication::exit(42); });
        QCOMPARE(QApplication::exec(), 42); // 0 would mean the program ended with the window
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), scaledMs(5000));
    }

    void closeWithChanges_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QByteArray>("onDisk");
        QTest::newRow("save") << int(QMessageBox::Save) << true << QByteArray("changed");
        QTest::newRow("discard") << int(QMessageBox::Discard) << true << QByteArray("kept");
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << QByteArray("kept");
    }
    void closeWithChanges()
    {
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(QByteArray, onDisk);
        const QString path = m_dir.filePath("close.txt");
        writeBytes(path, "kept");
        QPointer<TextEditorWindow> window = openInTextEditor(QStringLiteral("close.txt"), CodePage("UTF-8"));
        typeText(window, QStringLiteral("changed"));
        TextEditorWindow::setNextCloseAnswer(answer);
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.isNull(), closed);
        QCOMPARE(fileBytes(path), onDisk);
    }
};

QTEST_MAIN(TestTextEditor)
#include "test_text_editor.moc"
