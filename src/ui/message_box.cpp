#include "ui/message_box.h"

#include <QPointer>
#include <QPushButton>

#include <optional>

namespace {
std::optional<QMessageBox::StandardButton> s_nextAnswer;
QString s_lastTitle;
QString s_lastText;
int s_askedCount = 0;
QStringList s_lastButtons;
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
    s_lastButtons = {QStringLiteral("Yes"), QStringLiteral("No")};
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

bool MessageBox::askTrust(QWidget* parent, const QString& title, const QString& text, bool mayTrust)
{
    s_lastTitle = title;
    s_lastText = text;
    s_lastButtons = mayTrust ? QStringList{QStringLiteral("信頼して接続"), QStringLiteral("キャンセル")}
                             : QStringList{QStringLiteral("閉じる")};
    ++s_askedCount;
    if (s_nextAnswer) {
        const bool trusted = *s_nextAnswer == QMessageBox::Yes;
        s_nextAnswer.reset();
        return mayTrust && trusted;
    }
    QPointer<QMessageBox> box = new QMessageBox(mayTrust ? QMessageBox::Question : QMessageBox::Warning, title, text,
                                                QMessageBox::NoButton, parent);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* trust = nullptr;
    if (mayTrust) {
        trust = box->addButton(QStringLiteral("信頼して接続"), QMessageBox::AcceptRole);
        QPushButton* cancel = box->addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box->setDefaultButton(cancel);
        box->setEscapeButton(cancel);
    } else {
        QPushButton* close = box->addButton(QStringLiteral("閉じる"), QMessageBox::RejectRole);
        box->setDefaultButton(close);
        box->setEscapeButton(close);
    }
    box->setWindowModality(Qt::ApplicationModal);
    box->exec();
    const bool trusted = box && trust && box->clickedButton() == trust;
    delete box.data();
    return trusted;
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

QStringList MessageBox::lastButtons()
{
    return s_lastButtons;
}

int MessageBox::askedCount()
{
    return s_askedCount;
}
