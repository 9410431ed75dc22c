#include "platform/gui/shell_open.h"
#include "platform/gui/text_editor.h"
#include "server_process.h"
#include "settings/ini_file.h"
#include "test_files.h"
#include "test_keys.h"
#include "test_timeouts.h"
#include "ui/about_dialog.h"
#include "ui/controls.h"
#include "ui/file_dialog.h"
#include "ui/main_form.h"
#include "ui/message_box.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <memory>

namespace {

const QString Template = QStringLiteral("page.html");
const QByteArray TemplateText = "<p>HOSTNAME at NOWDTTM</p>\r\n";

} // namespace

// Start-up, the close question, the shutdown and the window's own commands, on the real window. Every
// case runs in a fresh current directory; the echo page is a refused loopback port, so nothing reaches
// out, and uploads go to a loopback FTP server.
class TestMainFormLifecycle : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_root;
    ServerProcess m_server;
    QString m_refusedUrl;

    template <class W> static W* control(MainForm& form, const char* name)
    {
        W* widget = form.findChild<W*>(QString::fromUtf8(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    // The entry of the notification-area icon's menu with this text.
    static QAction* trayAction(MainForm& form, const char* text)
    {
        if (!form.tray().menu())
            qFatal("the icon has no menu");
        for (QAction* action : form.tray().menu()->actions())
            if (action->text() == QString::fromUtf8(text))
                return action;
        qFatal("no menu entry %s", text);
    }

    // A settings file made from the defaults and the changes asked for.
    void writeSettings(const std::function<void(SettingsModel&)>& change)
    {
        SettingsModel settings;
        settings.applyDefaults();
        settings.global.GLOBALURL = m_refusedUrl;
        change(settings);
        QVERIFY(Save_ini(settings, CodePage::system()));
    }

    // The FTP server and one exit-time slot (slot 0) plus an on-change slot (slot 1) that the exit run
    // leaves alone.
    void writeExitSettings(const QStringList& serverArguments = {}, const QByteArray& templateText = TemplateText)
    {
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("public_html")));
        QVERIFY2(m_server.start(QStringLiteral("ftp_server.py"),
                                QStringList{QStringLiteral("--root"), m_root->path()} + serverArguments),
                 qPrintable(m_server.error()));
        QVERIFY(writeFile(Template, templateText));
        writeSettings([&](SettingsModel& s) {
            s.global.LOG = 1;
            s.global.AUTOEXEC = 1;
            s.global.FTPSERVERNAME = QStringLiteral("ftp://127.0.0.1:%1").arg(m_server.port());
            s.global.FTPUSERID = QStringLiteral("veltora");
            s.global.FTPUSERPASS = QStringLiteral("secret");
            for (int No : {0, 1}) {
                s.slot[No].OKCHECK = 1;
                s.slot[No].TEMPLATE = Template;
                s.slot[No].FTPDIR = QStringLiteral("public_html/");
                s.slot[No].EXEC_TIMING1 = false;
                s.slot[No].EXEC_TIMING2 = No == 1;
                s.slot[No].EXEC_TIMING3 = No == 0;
            }
            s.slot[0].FTPFILENAME = QStringLiteral("veltora.html");
            s.slot[1].FTPFILENAME = QStringLiteral("on-change.html");
        });
    }

    // 24 KB: at the server's 8 KB/s an upload that is still under way when the test steps in.
    static QByteArray slowTemplate()
    {
        QByteArray text = TemplateText;
        while (text.size() < 24 * 1024)
            text += "<p>padding padding padding padding padding padding padding padding</p>\r\n";
        return text;
    }

    // The window as the program makes it. Without a settings file the echo page is the default public
    // address: the control is pointed at the refused port before anything could look it up.
    std::unique_ptr<MainForm> makeForm()
    {
        auto form = std::make_unique<MainForm>();
        control<QLineEdit>(*form, "GlobalURL")->setText(m_refusedUrl);
        return form;
    }

    static void clickTab(MainForm& form, int position)
    {
        control<TabStrip>(form, "TabStrip1")->setSelectedItem(position);
    }

    QString remote(const QString& name) const { return m_root->filePath(QStringLiteral("public_html/") + name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && m_root->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
        m_refusedUrl = QStringLiteral("http://127.0.0.1:%1/").arg(unusedLoopbackPort());
        MessageBox::clearNextAnswer();
        TaskTray::setAvailableOverride(true);
    }
    void cleanup()
    {
        m_server.stop();
        TaskTray::setAvailableOverride(std::nullopt);
        TextEditor::setRecorder({});
        ShellOpen::setRecorder({});
        FileDialog::setChooser({});
        if (Dialog* about = Dialog::current())
            delete about;
        QDir::setCurrent(QDir::tempPath());
    }

    void startUp_data()
    {
        QTest::addColumn<bool>("settingsFile");
        QTest::addColumn<int>("log");
        QTest::addColumn<int>("autoExec");
        QTest::addColumn<int>("taskTray");
        QTest::addColumn<bool>("notificationArea");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QStringList>("logLines");

        const QStringList none;
        const QStringList start{QStringLiteral("START")};
        QTest::newRow("no settings file") << false << 0 << 0 << 0 << true << true << false << 0 << none;
        QTest::newRow("LOG 1 logs the start") << true << 1 << 0 << 0 << true << true << false << 0 << start;
        QTest::newRow("LOG 0") << true << 0 << 1 << 0 << true << true << false << 6000 << none;
        QTest::newRow("AUTOEXEC 1 arms the timer") << true << 1 << 1 << 0 << true << true << false << 6000 << start;
        QTest::newRow("TASKTRAY 1: the icon only") << true << 0 << 0 << 1 << true << false << false << 0 << none;
        QTest::newRow("TASKTRAY 1 without a notification area: minimised")
            << true << 0 << 1 << 1 << false << true << true << 6000 << none;
    }
    void startUp()
    {
        QFETCH(bool, settingsFile);
        QFETCH(int, log);
        QFETCH(int, autoExec);
        QFETCH(int, taskTray);
        QFETCH(bool, notificationArea);
        QFETCH(bool, visible);
        QFETCH(bool, minimised);
        QFETCH(int, interval);
        QFETCH(QStringList, logLines);

        if (settingsFile) {
            writeSettings([&](SettingsModel& s) {
                s.global.LOG = qint16(log);
                s.global.AUTOEXEC = qint16(autoExec);
                s.global.TASKTRAY = qint16(taskTray);
            });
        }
        const QByteArray settingsBefore = fileBytes(QString::fromLatin1(SettingsFileName));
        TaskTray::setAvailableOverride(notificationArea);
        auto form = makeForm();
        QCoreApplication::processEvents();

        QCOMPARE(form->isVisible(), visible);
        QCOMPARE(form->isMinimized(), minimised);
        QVERIFY(form->tray().isInstalled()); // at every start, whatever TASKTRAY says
        QCOMPARE(form->engine().Timer1.interval(), interval);
        QCOMPARE(logEvents(), logLines);
        QCOMPARE(QFile::exists(QStringLiteral("Veltora.log")), !logLines.isEmpty());
        // Start-up reads the settings and makes no run.
        QCOMPARE(fileBytes(QString::fromLatin1(SettingsFileName)), settingsBefore);
        QCOMPARE(form->FTP_now(), QStringLiteral("未実行"));
        QCOMPARE(form->IP_address(), QStringLiteral("未取得"));
        QCOMPARE(form->engine().IpCheckState, qint16(0));
        QVERIFY(form->engine().FirstRunPending);
        QCOMPARE(control<QCheckBox>(*form, "AutoExec")->isChecked(), autoExec == 1);
    }

    // A line of the settings file that cannot be read is named in a warning; the lines after it are read.
    void unreadableSettingsLineIsShown()
    {
        writeSettings([](SettingsModel& s) { s.global.FTPUSERID = QStringLiteral("before"); });
        const QString ini = QString::fromLatin1(SettingsFileName);
        QVERIFY(writeFile(ini, fileBytes(ini) + "\"OKCHECK\",12,1\n\"FTPFILENAME\",0,\"after.html\"\n"));
        auto form = makeForm();
        QVERIFY2(MessageBox::lastText().contains(QStringLiteral("109 行目")), qPrintable(MessageBox::lastText()));
        QCOMPARE(form->engine().settings.global.FTPUSERID, QStringLiteral("before"));
        QCOMPARE(form->engine().settings.slot[0].FTPFILENAME, QStringLiteral("after.html"));
    }

    // Qt's own texts are Japanese like the rest, whatever the locale: the close question's buttons and the
    // file dialog's labels.
    void qtTextsAreJapanese()
    {
        auto form = makeForm(); // the window's start-up installs them; the tests run under the C locale
        std::unique_ptr<QMessageBox> box(MessageBox::createYesNoBox(
            form.get(), QStringLiteral("確認"), QStringLiteral("常駐終了しますがよろしいですか？")));
        QCOMPARE(box->button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
        QCOMPARE(box->button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
        QFileDialog dialog(form.get());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        QCOMPARE(dialog.labelText(QFileDialog::FileName), QStringLiteral("ファイル名(&N):"));
        QCOMPARE(dialog.labelText(QFileDialog::FileType), QStringLiteral("ファイルの種類:"));
        QCOMPARE(dialog.labelText(QFileDialog::Accept), QStringLiteral("開く(&O)"));
        QCOMPARE(dialog.labelText(QFileDialog::Reject), QStringLiteral("キャンセル"));
    }

    void closeAnsweredNoChangesNothing()
    {
        writeSettings([](SettingsModel& s) {
            s.global.LOG = 1;
            s.global.AUTOEXEC = 1;
        });
        const QByteArray settingsBefore = fileBytes(QString::fromLatin1(SettingsFileName));
        auto form = makeForm();
        // Something a save would write.
        control<QLineEdit>(*form, "FTPuserID")->setText(QStringLiteral("typed"));
        const int asked = MessageBox::askedCount();
        MessageBox::setNextAnswer(QMessageBox::No);

        QVERIFY(!form->close());
        QCoreApplication::processEvents();

        QCOMPARE(MessageBox::askedCount(), asked + 1);
        QCOMPARE(MessageBox::lastTitle(), QStringLiteral("確認"));
        QCOMPARE(MessageBox::lastText(), QStringLiteral("常駐終了しますがよろしいですか？"));
        QVERIFY(form->isVisible());
        QVERIFY(!form->isClosing());
        QVERIFY(form->tray().isInstalled());
        QCOMPARE(form->engine().Timer1.interval(), 6000);
        QCOMPARE(fileBytes(QString::fromLatin1(SettingsFileName)), settingsBefore);
        QCOMPARE(logEvents(), QStringList{QStringLiteral("START")});
        QCOMPARE(form->engine().settings.global.FTPUSERID, QString()); // not even committed

        // Asked again, and this time accepted.
        MessageBox::setNextAnswer(QMessageBox::Yes);
        form->close();
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), scaledMs(5000));
        QCOMPARE(MessageBox::askedCount(), asked + 2);
        QCOMPARE(logEvents().last(), QStringLiteral("END"));
    }

    void closes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("iconDuringExitRun");
        QTest::newRow("close box, Yes") << "user" << 1 << true;
        QTest::newRow("常駐終了 (OK_Click)") << "program" << 0 << false;
        QTest::newRow("常駐終了 in the icon's menu") << "tray menu" << 0 << false;
        QTest::newRow("SIGTERM") << "SIGTERM" << 0 << true;
        QTest::newRow("SIGINT") << "SIGINT" << 0 << true;
        QTest::newRow("SIGHUP") << "SIGHUP" << 0 << true;
    }
    void closes()
    {
        QFETCH(QString, how);
        QFETCH(int, questions);
        QFETCH(bool, iconDuringExitRun);
        writeExitSettings();
        QCOMPARE(QFileInfo(QString::fromLatin1(SettingsFileName)).exists(), true);
        auto form = makeForm();
        // Typed on the slot's page and never committed: the close takes it over before the save and the run.
        clickTab(*form, 2);
        control<QLineEdit>(*form, "FTPputTO")->setText(QStringLiteral("typed.html"));

        // Samples the icon, and whether the settings file already holds what was typed, while the exit-time
        // run is under way: the settings are saved before that run, which may take minutes.
        QList<bool> iconWhileBusy;
        QList<bool> savedWhileBusy;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (form->engine().isBusy()) {
                iconWhileBusy << form->tray().isInstalled();
                savedWhileBusy << fileBytes(QString::fromLatin1(SettingsFileName)).contains("typed.html");
            }
        });
        sampler.start(1);

        const int asked = MessageBox::askedCount();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        if (how == "user")
            form->close();
        else if (how == "program")
            control<QPushButton>(*form, "OK")->click();
        else if (how == "tray menu")
            trayAction(*form, "常駐終了")->trigger();
        else
            ::raise(how == "SIGTERM" ? SIGTERM : how == "SIGINT" ? SIGINT : SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), scaledMs(30000));
        sampler.stop();
        MessageBox::clearNextAnswer();

        QCOMPARE(MessageBox::askedCount(), asked + questions);
        QVERIFY(form->isClosing());
        QVERIFY(!form->tray().isInstalled());
        QCOMPARE(form->engine().Timer1.interval(), 0);
        QVERIFY(!iconWhileBusy.isEmpty());
        QVERIFY(iconWhileBusy.contains(iconDuringExitRun));
        QVERIFY(!iconWhileBusy.contains(!iconDuringExitRun));
        QVERIFY(!savedWhileBusy.isEmpty());
        QVERIFY(!savedWhileBusy.contains(false));

        // The settings file holds what was typed, the exit-time slot went up under that name, the other did not.
        QVERIFY(fileBytes(QString::fromLatin1(SettingsFileName)).contains("typed.html"));
        QCOMPARE(fileBytes(remote(QStringLiteral("typed.html"))), fileBytes(Template + QStringLiteral("$$0")));
        QVERIFY(!QFile::exists(remote(QStringLiteral("on-change.html"))));
        // No echo page answers here: the check's failure is followed by its reason.
        const QStringList expected{QStringLiteral("START"), QStringLiteral("IPアドレス確認(終了時)"),
                                   QStringLiteral("失敗理由"), QStringLiteral("ファイル転送(終了時)"),
                                   QStringLiteral("END")};
        QCOMPARE(logEvents(), expected);
    }

    // The page is shown again after a transfer-now for its new result; what was typed on it meanwhile stays.
    void typingDuringTransferNowIsKept()
    {
        const QByteArray big = slowTemplate();
        writeExitSettings({QStringLiteral("--rate"), QStringLiteral("8192")}, big);
        auto form = makeForm();
        clickTab(*form, 2);
        auto* putTo = control<QLineEdit>(*form, "FTPputTO");
        QTimer typist;
        connect(&typist, &QTimer::timeout, this, [&] {
            if (!form->engine().isBusy() ||
                !QFile::exists(remote(QStringLiteral("veltora.html") + QLatin1String(FtpTransfer::TemporarySuffix))))
                return;
            typist.stop();
            putTo->setText(QStringLiteral("typed-during-upload.html"));
        });
        typist.start(10);
        QTimer::singleShot(0, control<QPushButton>(*form, "FTPcommand"), &QPushButton::click);
        QTRY_VERIFY_WITH_TIMEOUT(logEvents().contains(QStringLiteral("ファイル転送(今すぐ転送)")), scaledMs(30000));
        QTRY_VERIFY_WITH_TIMEOUT(!form->engine().isBusy(), scaledMs(5000));

        QVERIFY(!typist.isActive()); // the text was typed while the upload ran
        QCOMPARE(putTo->text(), QStringLiteral("typed-during-upload.html"));
        // The result was about veltora.html: the name typed meanwhile has not been sent.
        QCOMPARE(control<QLabel>(*form, "FTP_Kekka")->text(), QStringLiteral("未実行"));
        QCOMPARE(fileBytes(remote(QStringLiteral("veltora.html"))), big); // uploaded under the name it started with
    }

    // An unknown SFTP host key, or a self-signed certificate, is trusted from the window: the dialog shows the
    // fingerprint as ssh-keygen (or openssl) does, the key goes to a known_hosts made owner-only (the
    // certificate to trusted_certificates.pem, for this server), and the page is sent at once. A changed key
    // offers only 「閉じる」 and writes nothing, though "trust" was the answer given in advance.
    void trustDialog_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("unknown key trusted") << QStringLiteral("unknown");
        QTest::newRow("changed key only shown") << QStringLiteral("changed");
        QTest::newRow("self-signed certificate trusted") << QStringLiteral("certificate");
    }
    void trustDialog()
    {
        QFETCH(QString, kind);
        const bool changed = kind == QLatin1String("changed");
        const bool certificate = kind == QLatin1String("certificate");
        QTemporaryDir keys;
        QTemporaryDir home;
        QString error;
        const QByteArray hostKey = TestKeys::makeHostKey(keys.filePath(QStringLiteral("host.pem")), &error);
        const QByteArray otherKey = TestKeys::makeHostKey(keys.filePath(QStringLiteral("other.pem")), &error);
        QVERIFY2(!hostKey.isEmpty() && !otherKey.isEmpty(), qPrintable(error));
        QVERIFY2(!certificate || TestKeys::makeCertificates(keys.path(), &error), qPrintable(error));
        const QByteArray previousHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", previousHome); });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SFTP_TEST_PASSWORD"), QStringLiteral("secret"));
        m_server.process().setProcessEnvironment(environment);
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("public_html")));
        const QStringList tls{QStringLiteral("--tls"), QStringLiteral("explicit"), QStringLiteral("--cert"),
                              keys.filePath(QStringLiteral("self-signed.pem")), QStringLiteral("--key"),
                              keys.filePath(QStringLiteral("self-signed.key"))};
        QVERIFY2(certificate ? m_server.start(QStringLiteral("ftp_server.py"),
                                              QStringList{QStringLiteral("--root"), m_root->path()} + tls)
                             : m_server.start(QStringLiteral("sftp_server.py"),
                                              {QStringLiteral("--root"), m_root->path(), QStringLiteral("--host-key"),
                                               keys.filePath(QStringLiteral("host.pem"))}),
                 qPrintable(m_server.error()));
        const QString knownHosts = home.filePath(QStringLiteral(".ssh/known_hosts"));
        const QByteArray before = changed ? TestKeys::knownHostsLine(m_server.port(), otherKey) : QByteArray();
        if (changed)
            QVERIFY(QDir(home.path()).mkpath(QStringLiteral(".ssh")) && writeFile(knownHosts, before));
        QVERIFY(writeFile(Template, TemplateText));
        writeSettings([&](SettingsModel& s) {
            s.global.LOG = 1;
            s.global.FTPSERVERNAME =
                QStringLiteral("%1://127.0.0.1:%2").arg(certificate ? "ftpes" : "sftp").arg(m_server.port());
            s.global.FTPUSERID = QStringLiteral("veltora");
            s.global.FTPUSERPASS = QStringLiteral("secret");
            s.slot[0].TEMPLATE = Template;
            s.slot[0].FTPDIR = QStringLiteral("public_html/");
            s.slot[0].FTPFILENAME = QStringLiteral("veltora.html");
        });
        // The fingerprint as OpenSSH's and OpenSSL's own tools show it.
        QVERIFY(writeFile(keys.filePath(QStringLiteral("host.pub")), hostKey));
        QProcess tool;
        if (certificate)
            tool.start(QStringLiteral("openssl"), {QStringLiteral("x509"), QStringLiteral("-noout"),
                                                   QStringLiteral("-fingerprint"), QStringLiteral("-sha256"),
                                                   QStringLiteral("-in"), tls[3]});
        else
            tool.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), keys.filePath(QStringLiteral("host.pub"))});
        QVERIFY(tool.waitForFinished(scaledMs(10000)));
        const QString shown = QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
        const QString fingerprint = certificate ? shown.section(u'=', 1) : shown.section(u' ', 1, 1);
        QVERIFY2(fingerprint.startsWith(QLatin1String(certificate ? "" : "SHA256:")) && fingerprint.size() > 40,
                 qPrintable(shown));

        auto form = makeForm();
        clickTab(*form, 2);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        const int asked = MessageBox::askedCount();
        control<QPushButton>(*form, "FTPcommand")->click();
        QTRY_VERIFY_WITH_TIMEOUT(logEvents().contains(QStringLiteral("ファイル転送(今すぐ転送)")), scaledMs(30000));
        QCOMPARE(MessageBox::askedCount(), asked + 1);
        QVERIFY2(MessageBox::lastText().contains(fingerprint), qPrintable(MessageBox::lastText()));
        if (changed) {
            QCOMPARE(MessageBox::lastButtons(), QStringList{QStringLiteral("閉じる")});
            QVERIFY(MessageBox::lastText().contains(QStringLiteral("ssh-keygen -R '[127.0.0.1]:%1'").arg(m_server.port())));
            QCOMPARE(fileBytes(knownHosts), before);
            QVERIFY(!QFile::exists(remote(QStringLiteral("veltora.html"))));
            return;
        }
        QCOMPARE(MessageBox::lastButtons(), (QStringList{QStringLiteral("信頼して接続"), QStringLiteral("キャンセル")}));
        if (certificate) {
            QVERIFY(fileBytes(QStringLiteral("trusted_certificates.pem"))
                        .startsWith("# 127.0.0.1:" + QByteArray::number(m_server.port()) + "\n-----BEGIN CERTIFICATE"));
        } else {
            QCOMPARE(fileBytes(knownHosts), TestKeys::knownHostsLine(m_server.port(), hostKey));
            QCOMPARE(QFile::permissions(knownHosts) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
            QCOMPARE(QFile::permissions(home.filePath(QStringLiteral(".ssh"))) & 0x7077,
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QVERIFY(QFile::exists(remote(QStringLiteral("veltora.html"))));
        QVERIFY(logEvents().contains(QStringLiteral("信頼の登録")));
        QVERIFY(!logEvents().contains(QStringLiteral("FTP転送失敗(今すぐ転送)")));
    }

    void closeDuringTransferNowWaitsForIt()
    {
        const QByteArray big = slowTemplate();
        writeExitSettings({QStringLiteral("--rate"), QStringLiteral("8192")}, big);
        auto form = makeForm();
        clickTab(*form, 2);

        // The click's handler yields until its upload has ended, so the close is made from inside it.
        QStringList seenAtClose;
        bool busyAtClose = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (!form->engine().isBusy() ||
                !QFile::exists(remote(QStringLiteral("veltora.html") + QLatin1String(FtpTransfer::TemporarySuffix))))
                return;
            closer.stop();
            busyAtClose = true;
            MessageBox::setNextAnswer(QMessageBox::Yes);
            form->close();
            seenAtClose = logEvents();
            // A second request meanwhile changes nothing: no question, no second shutdown.
            const int asked = MessageBox::askedCount();
            form->close();
            form->Form_QueryUnload(MainForm::CloseBySystem);
            QCOMPARE(MessageBox::askedCount(), asked);
        });
        closer.start(10);
        QTimer::singleShot(0, control<QPushButton>(*form, "FTPcommand"), &QPushButton::click);
        QTRY_VERIFY2_WITH_TIMEOUT(!form->isVisible(), qPrintable(logEvents().join(QLatin1Char('|'))), scaledMs(60000));

        QVERIFY(busyAtClose);
        QCOMPARE(seenAtClose, QStringList{QStringLiteral("START")}); // the close did not cut in
        const QStringList events = logEvents();
        const qsizetype transferNow = events.indexOf(QStringLiteral("ファイル転送(今すぐ転送)"));
        const qsizetype exitCheck = events.indexOf(QStringLiteral("IPアドレス確認(終了時)"));
        QVERIFY2(transferNow > 0 && exitCheck > transferNow, qPrintable(events.join(QLatin1Char('|'))));
        QCOMPARE(events.count(QStringLiteral("IPアドレス確認(終了時)")), 1);
        QCOMPARE(events.count(QStringLiteral("ファイル転送(終了時)")), 1);
        QCOMPARE(events.count(QStringLiteral("END")), 1);
        QCOMPARE(events.last(), QStringLiteral("END"));
        // Whatever became of the interrupted upload, the exit-time run left the whole page on the server.
        QCOMPARE(fileBytes(remote(QStringLiteral("veltora.html"))), fileBytes(Template + QStringLiteral("$$0")));
    }

    void secondCloseDuringExitRunIsIgnored()
    {
        writeExitSettings();
        auto form = makeForm();
        int extraRequests = 0;
        bool iconGoneDuringExitRun = false;
        QTimer intruder;
        connect(&intruder, &QTimer::timeout, this, [&] {
            if (!form->engine().isBusy())
                return;
            ++extraRequests;
            MessageBox::setNextAnswer(QMessageBox::Yes);
            form->close();
            control<QPushButton>(*form, "OK")->click();
            iconGoneDuringExitRun |= !form->tray().isInstalled();
            ::raise(SIGTERM);
        });
        intruder.start(5);
        const int asked = MessageBox::askedCount();
        form->Form_QueryUnload(MainForm::CloseBySystem);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), scaledMs(30000));
        intruder.stop();
        QCoreApplication::processEvents(); // the last SIGTERM's notification

        QVERIFY(extraRequests > 0);
        QVERIFY(!iconGoneDuringExitRun); // 常駐終了 pressed meanwhile does not take the icon away early
        QCOMPARE(MessageBox::askedCount(), asked);
        const QStringList events = logEvents();
        QCOMPARE(events.count(QStringLiteral("IPアドレス確認(終了時)")), 1);
        QCOMPARE(events.count(QStringLiteral("END")), 1);
        QCOMPARE(events.last(), QStringLiteral("END"));
    }

    void autoExecBox_data()
    {
        QTest::addColumn<int>("autoExec");
        QTest::addColumn<int>("interval");
        QTest::newRow("ticked: armed") << 0 << 6000;
        QTest::newRow("unticked: stopped, AUTOEXEC still 1") << 1 << 0;
    }
    void autoExecBox()
    {
        QFETCH(int, autoExec);
        QFETCH(int, interval);
        writeSettings([&](SettingsModel& s) { s.global.AUTOEXEC = qint16(autoExec); });
        auto form = makeForm();
        QCOMPARE(form->engine().Timer1.interval(), autoExec == 1 ? 6000 : 0);

        QTest::mouseClick(control<QCheckBox>(*form, "AutoExec"), Qt::LeftButton);
        QCOMPARE(form->engine().Timer1.interval(), interval);
        // Only the timer follows the box; the setting changes when the page is committed.
        QCOMPARE(form->engine().settings.global.AUTOEXEC, qint16(autoExec));
        if (interval == 0) {
            // Stopped, so no tick comes to count, although AUTOEXEC still says 1.
            QVERIFY(!form->engine().Timer1.isArmed());
            QTest::qWait(50);
            QCOMPARE(form->engine().TickCount, qint16(0));
        }
    }

    void aboutBoxOneAtATime()
    {
        auto form = makeForm();
        QVERIFY(!Dialog::current());
        form->Image1_Click();
        Dialog* first = Dialog::current();
        QVERIFY(first);
        form->Image1_Click();
        QCOMPARE(Dialog::current(), first);
        int dialogs = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            dialogs += qobject_cast<Dialog*>(widget) ? 1 : 0;
        QCOMPARE(dialogs, 1);
        QVERIFY(first->isVisible());
        QVERIFY(form->isVisible()); // the main window stays usable
    }

    void hideButton_data()
    {
        QTest::addColumn<bool>("notificationArea");
        QTest::newRow("with a notification area: hidden") << true;
        QTest::newRow("without: minimised") << false;
    }
    void hideButton()
    {
        QFETCH(bool, notificationArea);
        writeSettings([](SettingsModel& s) { s.global.AUTOEXEC = 1; });
        TaskTray::setAvailableOverride(notificationArea);
        auto form = makeForm();
        QVERIFY(form->isVisible());
        control<QPushButton>(*form, "Command2")->click();
        QCOMPARE(form->isVisible(), !notificationArea);
        QCOMPARE(form->isMinimized(), !notificationArea);
        QVERIFY(form->tray().isInstalled());
        QCOMPARE(form->engine().Timer1.interval(), 6000);
        QVERIFY(!QFile::exists(QString::fromLatin1(SettingsFileName)) ||
                !fileBytes(QString::fromLatin1(SettingsFileName)).isEmpty());
        if (notificationArea) {
            emit form->tray().icon()->activated(QSystemTrayIcon::Trigger);
            QVERIFY(form->isVisible());
            form->hide();
            trayAction(*form, "設定を表示")->trigger();
            QVERIFY(form->isVisible());
        }
    }

    void editorAndShellCommands_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("editorGets");
        QTest::addColumn<QString>("shellGets");
        QTest::newRow("Command3 edits the template") << "Command3"
                                                     << "page.html"
                                                     << "page.html"
                                                     << "";
        QTest::newRow("Command3, blanks unchanged") << "Command3"
                                                    << "my page .html"
                                                    << "my page .html"
                                                    << "";
        QTest::newRow("Command6 shows the log") << "Command6"
                                                << "page.html"
                                                << "Veltora.log"
                                                << "";
        QTest::newRow("Command4 opens the template") << "Command4"
                                                     << "my page.html"
                                                     << ""
                                                     << "my page.html";
    }
    void editorAndShellCommands()
    {
        QFETCH(QString, button);
        QFETCH(QString, text);
        QFETCH(QString, editorGets);
        QFETCH(QString, shellGets);
        QStringList edited;
        QList<QUrl> opened;
        TextEditor::setRecorder([&](const QString& name) { edited << name; });
        ShellOpen::setRecorder([&](const QUrl& url) { opened << url; });
        auto form = makeForm();
        clickTab(*form, 2);
        control<QLineEdit>(*form, "FTPputFROM")->setText(text);

        control<QPushButton>(*form, button.toUtf8().constData())->click();

        QCOMPARE(edited, editorGets.isEmpty() ? QStringList() : QStringList{editorGets});
        QCOMPARE(opened, shellGets.isEmpty() ? QList<QUrl>() : QList<QUrl>{ShellOpen::targetUrl(shellGets)});
        if (!shellGets.isEmpty())
            QCOMPARE(opened.first().toLocalFile(), QDir::current().absoluteFilePath(shellGets));
        // The setting itself is not touched by these commands.
        QCOMPARE(form->engine().settings.slot[0].TEMPLATE, QStringLiteral("TEMPLATE.HTML"));
    }

    void chooseTemplate_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("a file chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void chooseTemplate()
    {
        QFETCH(bool, chosen);
        QTemporaryDir elsewhere;
        const QString chosenPath = elsewhere.filePath(QStringLiteral("other page.html"));
        QString title;
        FileDialog::setChooser([&](QWidget*, const QString& dialogTitle, const QString&, const QString&) {
            title = dialogTitle;
            QDir::setCurrent(elsewhere.path()); // the user browsed away
            return chosen ? chosenPath : QString();
        });
        auto form = makeForm();
        clickTab(*form, 2);
        auto* from = control<QLineEdit>(*form, "FTPputFROM");
        from->setText(QStringLiteral("kept.html"));
        const QString before = QDir::currentPath();

        control<QPushButton>(*form, "Command5")->click();

        QCOMPARE(title, QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙの選択"));
        QCOMPARE(from->text(), chosen ? chosenPath : QStringLiteral("kept.html"));
        QCOMPARE(QDir::currentPath(), before);
        // The program's files are still written where they were: the save button writes here.
        control<QPushButton>(*form, "Command_SAVE")->click();
        QVERIFY(QFile::exists(QDir(before).filePath(QString::fromLatin1(SettingsFileName))));
        QVERIFY(!QFile::exists(elsewhere.filePath(QString::fromLatin1(SettingsFileName))));
    }

    // An editor window holds the user's unsaved edits: the program's own end leaves the process running
    // until it has been closed, where a separate editor would simply have outlived the program.
    void anOpenEditorOutlivesTheProgramsEnd()
    {
        writeSettings([](SettingsModel& s) { s.global.LOG = 1; });
        QVERIFY(writeFile(Template, TemplateText));
        auto form = makeForm();
        TextEditorWindow* editor = openInTextEditor(Template, CodePage::system());
        QVERIFY(editor);
        QPointer<TextEditorWindow> watched(editor);
        editor->editor()->insertPlainText(QStringLiteral("unsaved "));

        QTimer::singleShot(0, this, [&] { control<QPushButton>(*form, "OK")->click(); });
        QTimer::singleShot(500, this, [&] {
            // The shutdown has run; the editor is still there with its text.
            QVERIFY(!form->isVisible());
            QCOMPARE(logEvents().last(), QStringLiteral("END"));
            QVERIFY(watched);
            QVERIFY(watched->isVisible());
            TextEditorWindow::setNextCloseAnswer(int(QMessageBox::Save));
            watched->close();
        });
        QTimer::singleShot(20000, this, [] { QCoreApplication::exit(-2); });
        // The application's own loop, as in the program: the end is its exit(0).
        const int exitCode = QCoreApplication::exec();
        QCOMPARE(exitCode, 0); // ended once the editor had gone
        QVERIFY(!watched);
        QVERIFY(fileBytes(Template).startsWith("unsaved "));
    }
};

QTEST_MAIN(TestMainFormLifecycle)
#include "test_main_form_lifecycle.moc"
