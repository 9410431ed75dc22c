#pragma once

#include "platform/code_page.h"

#include <QMainWindow>

#include <functional>

class QPlainTextEdit;
class QLabel;

// The program's stand-in for Notepad where there is none: a small non-modal editor for one text file in
// the system code page. The file's line ends are kept (CR LF stays CR LF, LF stays LF); a file that does
// not exist opens empty and saving creates it.
class TextEditorWindow : public QMainWindow
{
    Q_OBJECT
public:
    enum class LineEnd { CrLf, Lf };

    // fileName as the caller has it (often without a path): it is resolved against the current directory
    // now, so a later change of directory does not move the file.
    TextEditorWindow(const QString& fileName, const CodePage& codePage, QWidget* parent = nullptr);

    QString fileName() const { return m_fileName; }
    QString filePath() const { return m_filePath; }
    LineEnd lineEnd() const { return m_lineEnd; }
    QPlainTextEdit* editor() const { return m_editor; }
    QString statusText() const;

    // Reads the file again; false (and the reason in the status bar) when it cannot be read.
    bool load();
    // Writes the text back whole (write aside, then rename over); false and the reason in the status bar
    // when it cannot be written, the file then being left as it was.
    bool save();

    // Largest file the editor opens; bigger ones are refused rather than loaded whole.
    static constexpr qint64 MaxFileSize = 32 * 1024 * 1024;

    // Tests: the answer to "save the changes?" when a modified window is closed, instead of asking.
    static void setNextCloseAnswer(int standardButton);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showStatus(const QString& text);
    void markUnmodified();

    QString m_fileName;
    QString m_filePath;
    CodePage m_codePage;
    LineEnd m_lineEnd = LineEnd::CrLf;
    QPlainTextEdit* m_editor = nullptr;
};

namespace TextEditor {

// Tests: while a recorder is set, openInTextEditor hands it the file name instead of opening anything.
using Recorder = std::function<void(const QString& fileName)>;
void setRecorder(Recorder recorder);

// The editor windows now open (tests, and to reuse a window for a file already open).
QList<TextEditorWindow*> openWindows();

} // namespace TextEditor

// Opens fileName for editing without waiting: on Windows the command line "notepad.exe " + fileName, as
// typed, unquoted; elsewhere the program's own editor window (a file already open there is brought
// forward). Returns that window, or nullptr when Notepad was started or the recorder took the request.
TextEditorWindow* openInTextEditor(const QString& fileName, const CodePage& codePage);
