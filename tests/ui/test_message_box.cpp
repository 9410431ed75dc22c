#include "ui/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

class TestMessageBox : public QObject
{
    Q_OBJECT
private:
    // Runs `inspect` on the modal box as soon as it is up, then presses `key` in it.
    static void whenBoxShows(std::function<void(QMessageBox*)> inspect, Qt::Key key)
    {
        auto* poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect, key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll->stop();
            poll->deleteLater();
            inspect(box);
            QTest::keyClick(box, key);
        });
        poll->start();
    }

private slots:
    void answerGivenInAdvance_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::newRow("yes") << QMessageBox::Yes;
        QTest::newRow("no") << QMessageBox::No;
    }
    void answerGivenInAdvance()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        const int asked = MessageBox::askedCount();
        MessageBox::setNextAnswer(answer);
        QCOMPARE(MessageBox::askYesNo(nullptr, QStringLiteral("Veltora"),
                                      QStringLiteral("常駐終了しますがよろしいですか？")),
                 answer);
        QCOMPARE(MessageBox::askedCount(), asked + 1);
        QCOMPARE(MessageBox::lastTitle(), QStringLiteral("Veltora"));
        QCOMPARE(MessageBox::lastText(), QStringLiteral("常駐終了しますがよろしいですか？"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void boxLooksAsAsked()
    {
        QMessageBox* box = MessageBox::createYesNoBox(nullptr, QStringLiteral("題"), QStringLiteral("本文"));
        QCOMPARE(box->windowTitle(), QStringLiteral("題"));
        QCOMPARE(box->text(), QStringLiteral("本文"));
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
        QCOMPARE(box->escapeButton(), box->button(QMessageBox::No));
        delete box;
    }

    // The next answer is used once: the call after it shows the box again.
    void shownBoxReturnsTheButtonPressed_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::newRow("Enter takes the default, Yes") << Qt::Key_Return << QMessageBox::Yes;
        QTest::newRow("Esc is No") << Qt::Key_Escape << QMessageBox::No;
    }
    void shownBoxReturnsTheButtonPressed()
    {
        QFETCH(Qt::Key, key);
        QFETCH(QMessageBox::StandardButton, answer);
        MessageBox::setNextAnswer(answer == QMessageBox::Yes ? QMessageBox::No : QMessageBox::Yes);
        MessageBox::askYesNo(nullptr, QStringLiteral("t"), QStringLiteral("first"));

        QString seenText;
        whenBoxShows([&seenText](QMessageBox* box) { seenText = box->text(); }, key);
        QCOMPARE(MessageBox::askYesNo(nullptr, QStringLiteral("t"), QStringLiteral("second")), answer);
        QCOMPARE(seenText, QStringLiteral("second"));
    }

    void clearedAnswerShowsTheBox()
    {
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::clearNextAnswer();
        bool shown = false;
        whenBoxShows([&shown](QMessageBox*) { shown = true; }, Qt::Key_Escape);
        QCOMPARE(MessageBox::askYesNo(nullptr, QStringLiteral("t"), QStringLiteral("x")), QMessageBox::No);
        QVERIFY(shown);
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_message_box.moc"
