// Copying between the window's controls and the settings model, and switching tabs.
#include "server_process.h"
#include "settings/settings_model.h"
#include "ui/main_form.h"
#include "ui/message_box.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QStringList snapshot(const SettingsModel& s)
{
    const GlobalSettings& g = s.global;
    QStringList out{g.GLOBALURL,
                    QString::number(g.USEROUTE),
                    g.FTPSERVERNAME,
                    g.FTPUSERID,
                    g.FTPUSERPASS,
                    QString::number(g.TASKTRAY),
                    QString::number(g.AUTOEXEC),
                    g.TIMERSET,
                    QString::number(g.LOG)};
    for (const TransferSlot& t : s.slot) {
        out << QString::number(t.OKCHECK) << t.TEMPLATE << t.HOSTNAME << t.NOWDTTM << QString::number(t.HOSTNAMEEXEC)
            << QString::number(t.NOWDTTMEXEC) << t.FTPDIR << t.FTPFILENAME << QString::number(t.EXEC_TIMING1)
            << QString::number(t.EXEC_TIMING2) << QString::number(t.EXEC_TIMING3) << t.ResultText
            << QString::number(t.ChangeSent);
    }
    return out;
}

// What every input control of the window shows, by name.
QStringList snapshot(const QWidget* form)
{
    QStringList out;
    for (const QWidget* w : form->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty())
            continue;
        if (auto* edit = qobject_cast<const QLineEdit*>(w))
            out << w->objectName() + u'=' + edit->text();
        else if (auto* button = qobject_cast<const QAbstractButton*>(w); button && button->isCheckable())
            out << w->objectName() + u'=' + QString::number(button->isChecked());
        else if (auto* combo = qobject_cast<const QComboBox*>(w))
            out << w->objectName() + u'=' + combo->currentText();
        else if (auto* label = qobject_cast<const QLabel*>(w))
            out << w->objectName() + u'=' + label->text();
    }
    return out;
}

} // namespace

class TestSlotEditor : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainForm> m_form;

    template <class W = QWidget> W* control(const char* name) const
    {
        W* widget = m_form->findChild<W*>(QString::fromUtf8(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QLineEdit* edit(const char* name) const { return control<QLineEdit>(name); }
    QAbstractButton* button(const char* name) const { return control<QAbstractButton>(name); }
    SettingsModel& settings() const { return m_form->engine().settings; }
    qint16 selectedTab() const { return m_form->engine().SelectedTab; }

    // Clicks tab k (1 "基本設定", 2 to 10 the slots) as the user would.
    void chooseTab(int k)
    {
        auto* tabs = control("TabStrip1")->findChild<QTabBar*>();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(k - 1).center());
        QCOMPARE(tabs->currentIndex(), k - 1);
    }

    // Which page is in front: the later of the two among the main window's children.
    QString frontPage() const
    {
        const QObjectList children = m_form->children();
        return children.indexOf(control("Frame1")) > children.indexOf(control("Frame2")) ? QStringLiteral("Frame1")
                                                                                         : QStringLiteral("Frame2");
    }

    void typeInto(const char* name, const QString& text)
    {
        QLineEdit* box = edit(name);
        box->selectAll();
        QTest::keyClicks(box, text);
        QCOMPARE(box->text(), text);
    }

    QString shownTriggers() const
    {
        QString out;
        for (const char* name : {"EXEC_TIMING1", "EXEC_TIMING2", "EXEC_TIMING3"})
            out += button(name)->isChecked() ? u'1' : u'0';
        return out;
    }

private slots:
    void init()
    {
        // A fresh directory each time: no settings file, so the window starts on the defaults, and what one
        // case saves is not read by the next.
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
        m_form = std::make_unique<MainForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void startShowsTheDefaults()
    {
        QCOMPARE(selectedTab(), qint16(0));
        QCOMPARE(edit("GlobalURL")->text(), QString::fromLatin1(DefaultGlobalUrl));
        QVERIFY(button("UseRoute(0)")->isChecked());
        QVERIFY(!button("UseRoute(1)")->isChecked());
        QCOMPARE(edit("FTPserverName")->text(), QStringLiteral("ftp://"));
        // Initially checked at design time, off by default.
        QVERIFY(!button("Log_Out_check")->isChecked());
        QVERIFY(!button("AutoExec")->isChecked());
        QVERIFY(!button("TASKTRAYcheck")->isChecked());
        QCOMPARE(control<QComboBox>("TIMERset")->currentText(), QStringLiteral("5"));
        // The slot page keeps its design-time contents until a slot tab is chosen.
        QCOMPARE(edit("FTPputTO")->text(), QStringLiteral("veltora.html"));
        QVERIFY(button("OKcheck")->isChecked());
        // The shared-settings page lies over the tab strip; the slot page, though on top, is parked.
        QVERIFY(control("TabStrip1")->geometry().contains(control("Frame1")->geometry()));
        QVERIFY(control("Frame2")->x() >= m_form->width());
    }

    void slotPageParkedUntilASlotTabIsChosen()
    {
        QWidget* frame1 = control("Frame1");
        QWidget* frame2 = control("Frame2");
        const QPoint parked = frame2->pos();
        QVERIFY(parked.x() >= m_form->width());

        chooseTab(1); // the tab already on show
        QCOMPARE(selectedTab(), qint16(1));
        QCOMPARE(frame2->pos(), parked);
        QCOMPARE(frontPage(), QStringLiteral("Frame1"));
        const QPoint pagePlace = frame1->pos();
        // The client area lies where the designed page expects it: choosing the first tab does not move it.
        QCOMPARE(pagePlace, QPoint(210 / 15, 525 / 15));
        QVERIFY(control("TabStrip1")->geometry().contains(QRect(pagePlace, frame1->size())));

        chooseTab(2);
        QCOMPARE(selectedTab(), qint16(2));
        QCOMPARE(frame2->pos(), pagePlace);
        QCOMPARE(frontPage(), QStringLiteral("Frame2"));

        chooseTab(1);
        QCOMPARE(frontPage(), QStringLiteral("Frame1"));
        QCOMPARE(frame1->pos(), pagePlace);
        // The slot page stays behind it, where the slot tab put it.
        QCOMPARE(frame2->pos(), pagePlace);
    }

    void slotTabRightAfterStartCommitsTheSharedSettings()
    {
        settings().slot[2].FTPFILENAME = QStringLiteral("third.html");
        settings().slot[2].OKCHECK = 1;
        settings().slot[2].ResultText = QStringLiteral("[設定3] 転送成功");
        typeInto("GlobalURL", QStringLiteral("http://echo.example/"));
        typeInto("FTPuserPASS", QStringLiteral("pw"));
        QTest::mouseClick(button("AutoExec"), Qt::LeftButton);
        control<QComboBox>("TIMERset")->setCurrentIndex(9); // "45"
        QTest::mouseClick(button("UseRoute(1)"), Qt::LeftButton);

        chooseTab(4); // "設定3"
        QCOMPARE(selectedTab(), qint16(4));
        QCOMPARE(settings().global.GLOBALURL, QStringLiteral("http://echo.example/"));
        QCOMPARE(settings().global.FTPUSERPASS, QStringLiteral("pw"));
        QCOMPARE(settings().global.AUTOEXEC, qint16(1));
        QCOMPARE(settings().global.TIMERSET, QStringLiteral("45"));
        QCOMPARE(settings().global.USEROUTE, qint16(1));
        QCOMPARE(edit("FTPputTO")->text(), QStringLiteral("third.html"));
        QVERIFY(button("OKcheck")->isChecked());
        QCOMPARE(control<QLabel>("FTP_Kekka")->text(), QStringLiteral("[設定3] 転送成功"));
        // The design-time slot page never reached memory.
        QCOMPARE(settings().slot[0].FTPFILENAME, QStringLiteral("testpage1.html"));
        QCOMPARE(settings().slot[2].FTPFILENAME, QStringLiteral("third.html"));
    }

    void switchingSlotsCommitsTheOldBeforeShowingTheNew()
    {
        chooseTab(2);
        QCOMPARE(edit("FTPputTO")->text(), QStringLiteral("testpage1.html"));
        QCOMPARE(control<QLabel>("FTP_Kekka")->text(), QStringLiteral("未実行"));
        typeInto("FTPputTO", QStringLiteral("edited.html"));
        typeInto("FTPputFROM", QStringLiteral("mine.html"));
        typeInto("CHIKANfrom0", QStringLiteral("@IP@"));
        typeInto("CHIKANfrom1", QStringLiteral("@NOW@"));
        typeInto("FTPdir", QStringLiteral("www/"));
        QTest::mouseClick(button("OKcheck"), Qt::LeftButton);
        QTest::mouseClick(button("CHIKANcheck1"), Qt::LeftButton);
        QTest::mouseClick(button("EXEC_TIMING3"), Qt::LeftButton);

        chooseTab(3);
        const TransferSlot& first = settings().slot[0];
        QCOMPARE(first.FTPFILENAME, QStringLiteral("edited.html"));
        QCOMPARE(first.TEMPLATE, QStringLiteral("mine.html"));
        QCOMPARE(first.HOSTNAME, QStringLiteral("@IP@"));
        QCOMPARE(first.NOWDTTM, QStringLiteral("@NOW@"));
        QCOMPARE(first.FTPDIR, QStringLiteral("www/"));
        QCOMPARE(first.OKCHECK, qint16(1)); // off by default, clicked on
        QCOMPARE(first.HOSTNAMEEXEC, qint16(1));
        QCOMPARE(first.NOWDTTMEXEC, qint16(0));
        QVERIFY(!first.EXEC_TIMING1 && !first.EXEC_TIMING2 && first.EXEC_TIMING3);
        // The second slot is shown as it is in memory, untouched by the first one's edits.
        QCOMPARE(edit("FTPputTO")->text(), QStringLiteral("testpage2.html"));
        QCOMPARE(edit("FTPputFROM")->text(), QStringLiteral("TEMPLATE.HTML"));
        QCOMPARE(shownTriggers(), QStringLiteral("010"));
        QCOMPARE(settings().slot[1].FTPFILENAME, QStringLiteral("testpage2.html"));

        chooseTab(2);
        QCOMPARE(edit("FTPputTO")->text(), QStringLiteral("edited.html"));
        QCOMPARE(edit("CHIKANfrom1")->text(), QStringLiteral("@NOW@"));
        QVERIFY(button("OKcheck")->isChecked());
        QVERIFY(!button("CHIKANcheck1")->isChecked());
        QCOMPARE(shownTriggers(), QStringLiteral("001"));
    }

    void choosingTheTabOnShowChangesNothingVisible()
    {
        chooseTab(5);
        typeInto("FTPdir", QStringLiteral("docs/"));
        const QStringList before = snapshot(m_form.get());
        chooseTab(5);
        QCOMPARE(snapshot(m_form.get()), before);
        QCOMPARE(selectedTab(), qint16(5));
        QCOMPARE(settings().slot[3].FTPDIR, QStringLiteral("docs/"));
    }

    void runStateIsShownNotCommitted()
    {
        settings().slot[0].ResultText = QStringLiteral("[設定1] 転送失敗");
        settings().slot[0].ChangeSent = true;
        chooseTab(2);
        m_form->setFTP_Kekka(QStringLiteral("something else"));
        chooseTab(3);
        QCOMPARE(settings().slot[0].ResultText, QStringLiteral("[設定1] 転送失敗"));
        QVERIFY(settings().slot[0].ChangeSent);
    }

    // The first setup: a result line about a page sent elsewhere must not stand for the slot's new page.
    void resultLineAfterAnEdit_data()
    {
        QTest::addColumn<int>("tab"); // where the edit is made; 0 the window "IPv6...", taken with its OK
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("reset");
        QTest::newRow("file name") << 2 << "FTPputTO" << true;
        QTest::newRow("template") << 2 << "FTPputFROM" << true;
        QTest::newRow("server, on the first tab") << 1 << "FTPserverName" << true;
        QTest::newRow("password: the same page in the same place") << 1 << "FTPuserPASS" << false;
        QTest::newRow("IPv6 marker, in its own window") << 0 << "CHIKANfrom2(0)" << true;
    }
    void resultLineAfterAnEdit()
    {
        QFETCH(int, tab);
        QFETCH(QString, name);
        QFETCH(bool, reset);
        const QString done = QStringLiteral("[設定1] 実行完了 (2026/12/06 9:05:07)");
        settings().slot[0].ResultText = done;
        settings().slot[1].ResultText = done;
        if (tab == 0)
            button("Command7")->click();
        else
            chooseTab(tab);
        typeInto(name.toLatin1().constData(), QStringLiteral("index.html"));
        if (tab == 0)
            button("Ipv6OK")->click();
        chooseTab(2);
        QCOMPARE(control<QLabel>("FTP_Kekka")->text(), reset ? QStringLiteral("未実行") : done);
        // The shared server and user are part of every slot's destination; a slot's own fields only of its own.
        QCOMPARE(settings().slot[1].ResultText, reset && tab == 1 ? QStringLiteral("未実行") : done);
    }

    void triggerShown_data()
    {
        QTest::addColumn<bool>("t1");
        QTest::addColumn<bool>("t2");
        QTest::addColumn<bool>("t3");
        QTest::addColumn<QString>("shown");
        QTest::newRow("only 1") << true << false << false << "100";
        QTest::newRow("only 2") << false << true << false << "010";
        QTest::newRow("only 3") << false << false << true << "001";
        QTest::newRow("1 and 2: the later") << true << true << false << "010";
        QTest::newRow("1 and 3: the later") << true << false << true << "001";
        QTest::newRow("2 and 3: the later") << false << true << true << "001";
        QTest::newRow("all three: the last") << true << true << true << "001";
        QTest::newRow("none") << false << false << false << "000";
    }
    void triggerShown()
    {
        QFETCH(bool, t1);
        QFETCH(bool, t2);
        QFETCH(bool, t3);
        QFETCH(QString, shown);
        // Start from another selection, so that "none" has to clear it.
        chooseTab(2);
        QTest::mouseClick(button("EXEC_TIMING1"), Qt::LeftButton);
        TransferSlot& slot = settings().slot[5];
        slot.EXEC_TIMING1 = t1;
        slot.EXEC_TIMING2 = t2;
        slot.EXEC_TIMING3 = t3;

        chooseTab(7);
        QCOMPARE(shownTriggers(), shown);
        // Leaving the tab stores what was shown.
        chooseTab(1);
        QCOMPARE(QString::number(slot.EXEC_TIMING1) + QString::number(slot.EXEC_TIMING2) +
                     QString::number(slot.EXEC_TIMING3),
                 shown);
    }

    void storedRouteOutOfRangeLeavesTheSelection_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<qint16>("stored");
        QTest::newRow("UseRoute(0) on show") << "UseRoute(0)" << qint16(0);
        QTest::newRow("UseRoute(1) on show") << "UseRoute(1)" << qint16(1);
    }
    void storedRouteOutOfRangeLeavesTheSelection()
    {
        QFETCH(QString, selected);
        QFETCH(qint16, stored);
        QTest::mouseClick(button(qPrintable(selected)), Qt::LeftButton);
        settings().global.USEROUTE = 2;
        m_form->Put_Memory(-1);
        QVERIFY(button(qPrintable(selected))->isChecked());
        QVERIFY(m_form->UseRoute(stored));
        QVERIFY(!m_form->UseRoute(1 - stored));
        m_form->Set_Memory(-1);
        QCOMPARE(settings().global.USEROUTE, stored);
    }

    void slotNumbersOutsideTheTableTouchNothing_data()
    {
        QTest::addColumn<int>("No");
        QTest::newRow("11") << 11;
        QTest::newRow("12") << 12;
        QTest::newRow("32767") << 32767;
    }
    void slotNumbersOutsideTheTableTouchNothing()
    {
        QFETCH(int, No);
        chooseTab(3);
        typeInto("FTPputTO", QStringLiteral("unsaved.html"));
        typeInto("FTPdir", QStringLiteral("pending/"));
        const QStringList model = snapshot(settings());
        const QStringList shown = snapshot(m_form.get());
        m_form->Set_Memory(No);
        QCOMPARE(snapshot(settings()), model);
        m_form->Put_Memory(No);
        QCOMPARE(snapshot(m_form.get()), shown);
    }

    void negativeNumbersHandleTheSharedSettingsOnly_data()
    {
        QTest::addColumn<int>("No");
        QTest::newRow("-1") << -1;
        QTest::newRow("-2") << -2;
    }
    void negativeNumbersHandleTheSharedSettingsOnly()
    {
        QFETCH(int, No);
        chooseTab(3);
        typeInto("FTPputTO", QStringLiteral("unsaved.html"));
        typeInto("FTPserverName", QStringLiteral("ftp://shared.example/")); // the hidden first tab's control
        const std::array<TransferSlot, SlotTableSize> before = settings().slot;
        m_form->Set_Memory(No);
        QCOMPARE(settings().global.FTPSERVERNAME, QStringLiteral("ftp://shared.example/"));
        QCOMPARE(settings().slot[1].FTPFILENAME, before[1].FTPFILENAME);

        settings().global.FTPUSERID = QStringLiteral("someone");
        settings().slot[1].FTPFILENAME = QStringLiteral("model.html");
        m_form->Put_Memory(No);
        QCOMPARE(edit("FTPuserID")->text(), QStringLiteral("someone"));
        QCOMPARE(edit("FTPputTO")->text(), QStringLiteral("unsaved.html"));
    }

    void entryTenIsASlotLikeTheOthers()
    {
        settings().slot[10].FTPFILENAME = QStringLiteral("ten.html");
        m_form->Put_Memory(10);
        QCOMPARE(edit("FTPputTO")->text(), QStringLiteral("ten.html"));
        typeInto("FTPputTO", QStringLiteral("ten-edited.html"));
        const std::array<TransferSlot, SlotTableSize> before = settings().slot;
        m_form->Set_Memory(10);
        QCOMPARE(settings().slot[10].FTPFILENAME, QStringLiteral("ten-edited.html"));
        for (int i = 0; i < 10; ++i)
            QCOMPARE(settings().slot[i].FTPFILENAME, before[i].FTPFILENAME);
    }

    void periodOutsideTheListShowsTheDefault_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("in the list: 1") << "1"
                                        << "1";
        QTest::newRow("in the list: 600") << "600"
                                          << "600";
        QTest::newRow("not in the list: 7") << "7"
                                            << "5";
        QTest::newRow("leading zero") << "05"
                                      << "5";
        QTest::newRow("zero") << "0"
                              << "5";
        QTest::newRow("empty") << ""
                               << "5";
        QTest::newRow("text") << "abc"
                              << "5";
        QTest::newRow("beyond the list") << "601"
                                         << "5";
    }
    void periodOutsideTheListShowsTheDefault()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        control<QComboBox>("TIMERset")->setCurrentIndex(0);
        settings().global.TIMERSET = stored;
        m_form->Put_Memory(-1);
        QCOMPARE(m_form->TIMERset(), shown);
        m_form->Set_Memory(-1);
        QCOMPARE(settings().global.TIMERSET, shown);
    }

    void checkValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("field");
        QTest::addColumn<qint16>("stored");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<qint16>("committed");
        // field: 0 TASKTRAY, 1 AUTOEXEC, 2 LOG, 3 OKCHECK, 4 HOSTNAMEEXEC, 5 NOWDTTMEXEC
        const struct
        {
            const char* name;
            int field;
        } boxes[] = {{"TASKTRAYcheck", 0}, {"AutoExec", 1}, {"OKcheck", 3}, {"CHIKANcheck0", 4}, {"CHIKANcheck1", 5}};
        for (const auto& box : boxes) {
            for (qint16 value : {qint16(0), qint16(1), qint16(2), qint16(7), qint16(-1)}) {
                QTest::addRow("%s %d", box.name, value)
                    << box.name << box.field << value << (value == 1) << qint16(value == 1 ? 1 : 0);
            }
        }
        // The log is on whenever LOG is not 0; the box shows it so and keeps it on.
        for (qint16 value : {qint16(0), qint16(1), qint16(2), qint16(7), qint16(-1)}) {
            QTest::addRow("Log_Out_check %d", value)
                << "Log_Out_check" << 2 << value << (value != 0) << qint16(value != 0 ? 1 : 0);
        }
    }
    void checkValues()
    {
        QFETCH(QString, name);
        QFETCH(int, field);
        QFETCH(qint16, stored);
        QFETCH(bool, checked);
        QFETCH(qint16, committed);
        GlobalSettings& g = settings().global;
        TransferSlot& slot = settings().slot[4];
        qint16* fields[] = {&g.TASKTRAY, &g.AUTOEXEC, &g.LOG, &slot.OKCHECK, &slot.HOSTNAMEEXEC, &slot.NOWDTTMEXEC};
        const int No = field < 3 ? -1 : 4;
        // Show the opposite first, so that the shown state comes from the stored value.
        button(qPrintable(name))->setChecked(!checked);
        *fields[field] = stored;
        m_form->Put_Memory(No);
        QCOMPARE(button(qPrintable(name))->isChecked(), checked);
        m_form->Set_Memory(No);
        QCOMPARE(*fields[field], committed);
    }

    void saveButtonCommitsTheTabOnShow()
    {
        typeInto("FTPuserID", QStringLiteral("firsttab"));
        QTest::mouseClick(button("Command_SAVE"), Qt::LeftButton);
        QCOMPARE(settings().global.FTPUSERID, QStringLiteral("firsttab"));
        QVERIFY2(m_form->FTP_now().startsWith(QStringLiteral("設定を保存しました (")), qPrintable(m_form->FTP_now()));

        chooseTab(10);
        typeInto("FTPputTO", QStringLiteral("nine.html"));
        QTest::mouseClick(button("Command_SAVE"), Qt::LeftButton);
        QCOMPARE(settings().slot[8].FTPFILENAME, QStringLiteral("nine.html"));
    }

    void closingCommitsTheTabOnShow()
    {
        chooseTab(6);
        typeInto("CHIKANfrom0", QStringLiteral("@@HOST@@"));
        edit("GlobalURL")->setText(QStringLiteral("http://127.0.0.1:%1/").arg(unusedLoopbackPort()));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        m_form->close();
        QCOMPARE(settings().slot[4].HOSTNAME, QStringLiteral("@@HOST@@"));
        QVERIFY(QFile::exists(QStringLiteral("Veltora_050.ini")));
    }

    void sharedControlsThroughTheView_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("IP_address") << "IP_address";
        QTest::newRow("CHIKANto0") << "CHIKANto0";
        QTest::newRow("CHIKANto1") << "CHIKANto1";
        QTest::newRow("FTP_now") << "FTP_now";
        QTest::newRow("FTP_Kekka") << "FTP_Kekka";
    }
    void sharedControlsThroughTheView()
    {
        QFETCH(QString, name);
        FormView& view = *m_form;
        const QString text = QStringLiteral("192.0.2.7 ") + name;
        if (name == u"IP_address")
            view.setIP_address(text);
        else if (name == u"CHIKANto0")
            view.setCHIKANto0(text);
        else if (name == u"CHIKANto1")
            view.setCHIKANto1(text);
        else if (name == u"FTP_now")
            view.setFTP_now(text);
        else
            view.setFTP_Kekka(text);
        QWidget* widget = control(qPrintable(name));
        const QString shown = qobject_cast<QLabel*>(widget) ? qobject_cast<QLabel*>(widget)->text()
                                                            : qobject_cast<QLineEdit*>(widget)->text();
        QCOMPARE(shown, text);
        const QString read = name == u"IP_address"  ? view.IP_address()
                             : name == u"CHIKANto0" ? view.CHIKANto0()
                             : name == u"CHIKANto1" ? view.CHIKANto1()
                             : name == u"FTP_now"   ? view.FTP_now()
                                                    : view.FTP_Kekka();
        QCOMPARE(read, text);
    }

    void runReadsItsThreeControlsDirectly()
    {
        typeInto("GlobalURL", QStringLiteral("http://other.example/ip"));
        control<QComboBox>("TIMERset")->setCurrentIndex(19);
        QTest::mouseClick(button("UseRoute(1)"), Qt::LeftButton);
        FormView& view = *m_form;
        QCOMPARE(view.GlobalURL(), QStringLiteral("http://other.example/ip"));
        QCOMPARE(view.TIMERset(), QStringLiteral("600"));
        QVERIFY(view.UseRoute(1));
        QVERIFY(!view.UseRoute(0));
        // Not committed: memory still holds the defaults.
        QCOMPARE(settings().global.GLOBALURL, QString::fromLatin1(DefaultGlobalUrl));
        QCOMPARE(settings().global.TIMERSET, QStringLiteral("5"));
    }
};

QTEST_MAIN(TestSlotEditor)
#include "test_slot_editor.moc"
