#include "platform/gui/text_editor.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QStatusBar>

#include <optional>

namespace {

TextEditor::Recorder& recorder()
{
    static TextEditor::Recorder instance;
    return instance;
}

QList<QPointer<TextEditorWindow>>& windows()
{
    static QList<QPointer<TextEditorWindow>> list;
    return list;
}

std::optional<int> s_nextCloseAnswer;

} // namespace

TextEditorWindow::TextEditorWindow(const QString& fileName, const CodePage& codePage, QWidget* parent)
    : QMainWindow(parent), m_fileName(fileName), m_filePath(QFileInfo(QDir::current(), fileName).absoluteFilePath()),
      m_codePage(codePage)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the editor while the main window lies hidden in the tray must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(fileName + QStringLiteral("[*]"));
    resize(640, 480);

    m_editor = new QPlainTextEdit(this);
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    setCentralWidget(m_editor);
    connect(m_editor->document(), &QTextDocument::modificationChanged, this, &QWidget::setWindowModified);

    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    QAction* saveAction = fileMenu->addAction(QStringLiteral("上書き保存(&S)"));
    saveAction->setShortcut(QKeySequence::Save);
    connect(saveAction, &QAction::triggered, this, &TextEditorWindow::save);
    QAction* closeAction = fileMenu->addAction(QStringLiteral("閉じる(&X)"));
    connect(closeAction, &QAction::triggered, this, &QWidget::close);

    statusBar();
    load();
}

QString TextEditorWindow::statusText() const
{
    return statusBar()->currentMessage();
}

void TextEditorWindow::markUnmodified()
{
    m_editor->document()->setModified(false);
    // clear() reports the document modified, then resets its flag without a word, so setModified(false) has
    // nothing to report and the window kept the mark: a new, untouched file showed unsaved changes.
    setWindowModified(false);
}

void TextEditorWindow::showStatus(const QString& text)
{
    statusBar()->showMessage(text);
}

bool TextEditorWindow::load()
{
    m_lineEnd = LineEnd::CrLf;
    m_editor->setReadOnly(false);
    QFile file(m_filePath);
    if (!file.exists()) {
        m_editor->clear();
        markUnmodified();
        showStatus(QStringLiteral("新しいファイルです。保存すると作成されます。"));
        return true;
    }
    if (file.size() > MaxFileSize) {
        m_editor->clear();
        m_editor->setReadOnly(true);
        showStatus(QStringLiteral("ファイルが大きすぎるため開けません (%1 バイト)。").arg(file.size()));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_editor->clear();
        m_editor->setReadOnly(true);
        showStatus(QStringLiteral("ファイルを読めません: %1").arg(file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    const qsizetype crLf = bytes.count("\r\n");
    const qsizetype lf = bytes.count('\n');
    // The style most lines use; a file without any line end gets the program's own, CR LF.
    if (lf > 0 && lf - crLf > crLf)
        m_lineEnd = LineEnd::Lf;

    const QString text = m_codePage.decode(bytes);
    m_editor->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    markUnmodified();
    // Bytes the code page cannot represent would be replaced on saving: the file is shown, not rewritten.
    if (m_codePage.encode(text) != bytes) {
        m_editor->setReadOnly(true);
        showStatus(QStringLiteral("%1 として読めない文字があるため、読み取り専用で開きました。")
                       .arg(QString::fromLatin1(m_codePage.name())));
        return true;
    }
    showStatus(QString());
    return true;
}

bool TextEditorWindow::save()
{
    if (m_editor->isReadOnly()) {
        showStatus(QStringLiteral("読み取り専用のため保存できません。"));
        return false;
    }
    QString text = m_editor->toPlainText();
    if (m_lineEnd == LineEnd::CrLf)
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const QByteArray bytes = m_codePage.encode(text);
    if (m_codePage.decode(bytes) != text) {
        showStatus(QStringLiteral("%1 で表せない文字が含まれているため保存できません。")
                       .arg(QString::fromLatin1(m_codePage.name())));
        return false;
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        showStatus(QStringLiteral("保存できませんでした: %1").arg(file.errorString()));
        return false;
    }
    markUnmodified();
    showStatus(QStringLiteral("保存しました。"));
    return true;
}

void TextEditorWindow::setNextCloseAnswer(int standardButton)
{
    s_nextCloseAnswer = standardButton;
}

void TextEditorWindow::closeEvent(QCloseEvent* event)
{
    if (!m_editor->document()->isModified()) {
        event->accept();
        return;
    }
    int answer;
    if (s_nextCloseAnswer) {
        answer = *s_nextCloseAnswer;
        s_nextCloseAnswer.reset();
    } else {
        answer =
            QMessageBox::question(this, m_fileName, QStringLiteral("変更を保存しますか？"),
                                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    }
    if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !save()))
        event->ignore();
    else
        event->accept();
}

void TextEditor::setRecorder(Recorder newRecorder)
{
    recorder() = std::move(newRecorder);
}

QList<TextEditorWindow*> TextEditor::openWindows()
{
    QList<TextEditorWindow*> result;
    for (const QPointer<TextEditorWindow>& window : std::as_const(windows())) {
        if (window)
            result << window.data();
    }
    return result;
}

TextEditorWindow* openInTextEditor(const QString& fileName, const CodePage& codePage)
{
    if (recorder()) {
        recorder()(fileName);
        return nullptr;
    }
#ifdef Q_OS_WIN
    Q_UNUSED(codePage);
    // Notepad takes the rest of its command line as the file name, blanks included.
    QProcess notepad;
    notepad.setProgram(QStringLiteral("notepad.exe"));
    notepad.setNativeArguments(fileName);
    notepad.startDetached();
    return nullptr;
#else
    const QString path = QFileInfo(QDir::current(), fileName).absoluteFilePath();
    windows().removeAll(nullptr);
    for (TextEditorWindow* window : TextEditor::openWindows()) {
        if (window->filePath() == path) {
            window->show();
            window->raise();
            window->activateWindow();
            return window;
        }
    }
    auto* window = new TextEditorWindow(fileName, codePage);
    windows() << window;
    window->show();
    return window;
#endif
}
