#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

// The modal Yes/No question of the window toolkit. Tests answer it in advance through setNextAnswer(), so
// no box is shown and nobody has to click.
class MessageBox
{
public:
    // A question-mark box with Yes (the default) and No; returns QMessageBox::Yes or QMessageBox::No.
    static QMessageBox::StandardButton askYesNo(QWidget* parent, const QString& title, const QString& text);

    // The box askYesNo() shows, not yet executed.
    static QMessageBox* createYesNoBox(QWidget* parent, const QString& title, const QString& text);

    // A warning with OK that does not wait: the window goes on behind it. Its text counts as lastText().
    static QMessageBox* showWarning(QWidget* parent, const QString& title, const QString& text);

    // Whether to trust a server: 「信頼して接続」 and 「キャンセル」 (the default), true for the first. With
    // `mayTrust` false (a changed key or certificate) only 「閉じる」 is offered and the answer is always false,
    // whatever was given in advance.
    static bool askTrust(QWidget* parent, const QString& title, const QString& text, bool mayTrust);

    // The next askYesNo() or askTrust() returns this (Yes: trust) without showing anything. One answer per call. without showing anything. One answer per call.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static void clearNextAnswer();

    // What the last askYesNo() asked (or showWarning() said), whether it was shown or answered in advance.
    static QString lastTitle();
    static QString lastText();
    static int askedCount();
    // The buttons of the last question, left to right as their texts.
    static QStringList lastButtons();
};
