#pragma once

#include <QString>

#include <functional>

class QWidget;

// The file-open dialog, behind a seam: tests decide the next answer instead of a person.
class FileDialog
{
public:
    // The chosen file as a full path, or empty when the user cancelled. The dialog starts on the file
    // chosen last time; the current directory is the same afterwards as before, whatever the user browsed.
    // filter is in the "description|patterns|description|patterns" form, e.g.
    // "HTMLファイル|*.html;*.htm|全てのファイル|*.*".
    static QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter);

    // Tests: the next getOpenFileName returns fileName without showing anything (an empty name stands for
    // a cancelled dialog). Used once, then the real dialog is back.
    static void setNextFileName(const QString& fileName);

    // Tests: every getOpenFileName asks chooser (parent, title, start file, Qt filter) instead of the real
    // dialog while it is set; an empty function restores the dialog.
    using Chooser = std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;
    static void setChooser(Chooser chooser);

    // "HTMLファイル|*.html;*.htm|全てのファイル|*.*" -> "HTMLファイル (*.html *.htm);;全てのファイル (*)"
    static QString toQtFilter(const QString& filter);

    // What the last real or seamed dialog was asked to show (tests).
    static QString lastTitle();
    static QString lastQtFilter();
};
