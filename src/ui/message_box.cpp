#include "ui/message_box.h"

#include <QPointer>

#include <optional>

namespace {
std::optional<QMessageBox::StandardButton> s_nextAnswer;
QString s_lastTitle;
QString s_lastText;
int s_askedCount = 0;
} // namespace

QMessageBox* MessageBox::createYesNoBox(QWidget* parent, const QString& title, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::Yes);
    box->setEscapeButton(QMessageBox::No);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

QMessageBox::StandardButton MessageBox::askYesNo(QWidget* parent, const QString& title, const QString& text)
{
    s_lastTitle = title;
    s_lastText = text;
    ++s_askedCount;
    if (s_nextAnswer) {
        const QMessageBox::StandardButton answer = *s_nextAnswer;
        s_nextAnswer.reset();
        return answer;
    }
    // The box may lose its parent while its loop runs (the window is closed meanwhile).
    QPointer<QMessageBox> box = createYesNoBox(parent, title, text);
    const int result = box->exec();
    delete box.data();
    return result == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

QMessageBox* MessageBox::showWarning(QWidget* parent, const QString& title, const QString& text)
{
    s_lastTitle = title;
    s_lastText = text;
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    s_nextAnswer = answer;
}

void MessageBox::clearNextAnswer()
{
    s_nextAnswer.reset();
}

QString MessageBox::lastTitle()
{
    return s_lastTitle;
}

QString MessageBox::lastText()
{
    return s_lastText;
}

int MessageBox::askedCount()
{
    return s_askedCount;
}
