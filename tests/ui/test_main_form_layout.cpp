// The window's controls against the layout table: names, kinds, texts, tooltips, places, containment,
// stacking and keyboard order.
#include "settings/settings_model.h"
#include "ui/controls.h"
#include "ui/main_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Control
{
    const char* name;
    const char* kind;
    const char* parent;
    const char* caption;
    const char* toolTip;
    int left, top, width, height; // twips
};

// Transcribed from the window's layout; kept apart from the code that builds it.
const Control Controls[] = {
    {"OK", "QPushButton", "MainForm", "常駐終了", "設定を保存して常駐を終了します", 2625, 7035, 1275, 330},
    {"Command_SAVE", "QPushButton", "MainForm", "設定保存", "設定を保存します", 4725, 7035, 1275, 330},
    {"Command2", "QPushButton", "MainForm", "OK",
     "表示を隠します。タスクトレイ内のアイコンをクリックすると再び開きます", 6195, 7035, 1275, 330},
    {"Label1(12)", "QLabel", "MainForm", "最終実行履歴 >>", "", 630, 6615, 1380, 225},
    {"FTP_now", "QLabel", "MainForm", "未実行", "", 1995, 6615, 3795, 225},
    {"Image1", "ImageLabel", "MainForm", "", "", 105, 6930, 1875, 480},
    {"TabStrip1", "TabStrip", "MainForm", "", "", 105, 105, 7365, 6315},
    {"Frame1", "QFrame", "MainForm", "Webサーバ設定", "", 210, 525, 6945, 5685},
    {"Frame2", "QFrame", "MainForm", "", "", 7875, 525, 7050, 5790},
    {"Frame3", "QGroupBox", "Frame1", "IPアドレス確認用サーバ設定", "", 105, 105, 6840, 1695},
    {"UseRoute(0)", "OptionButton", "Frame3", "ルータ使用（自宅サーバにはローカルIPアドレスを使用）",
     "IPﾏｽｶﾚｰﾄﾞやNAT機能を使用している場合やﾃﾞﾌｫﾙﾄではこちらを選択します", 210, 210, 5685, 330},
    {"GlobalURL", "QLineEdit", "Frame3", "http://checkip.dyndns.org/", "自宅ｻｰﾊﾞのIPｱﾄﾞﾚｽを、このｻｲﾄで確認します", 2100,
     525, 4320, 330},
    {"Label1(9)", "QLabel", "Frame3", "確認サーバのURL", "", 525, 630, 1485, 225},
    {"UseRoute(1)", "OptionButton", "Frame3", "ルータ使用せず（自宅サーバにグローバルIPが割り当てられている場合など）",
     "ｲﾝﾀｰﾈｯﾄに自宅サーバが直結している場合はこちらを選択します", 210, 945, 6315, 330},
    {"Label1(6)", "QLabel", "Frame3", "現在の自宅サーバのIPアドレス >>", "", 315, 1365, 2640, 225},
    {"IP_address", "QLabel", "Frame3", "未取得", "", 3045, 1365, 2325, 225},
    {"GetGlobalIP", "QPushButton", "Frame3", "今すぐ確認", "今すぐ自宅サーバのIPアドレスを確認します", 5565, 1260, 1170,
     330},
    {"Command7", "QPushButton", "Frame3", "IPv6...", "IPv6ｱﾄﾞﾚｽの確認と置換文字列を設定します", 5985, 180, 750, 330},
    {"Frame4", "QGroupBox", "Frame1", "Webサーバ設定 (FTPサーバ設定)", "", 105, 1890, 6840, 1695},
    {"Label1(16)", "QLabel", "Frame4",
     "[設定1]～[設定9] "
     "で指定のﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを転送する先のWebｻｰﾊﾞ（ﾎｰﾑﾍﾟｰｼﾞ用のｻｰﾊﾞのｱﾄﾞﾚｽと、転送に必要なﾕｰｻﾞIDとﾊﾟｽﾜｰﾄﾞ ） "
     "を指定します",
     "", 315, 315, 6420, 435},
    {"Label1(8)", "QLabel", "Frame4", "サーバ名", "", 315, 840, 855, 225},
    {"FTPserverName", "QLineEdit", "Frame4", "ftp://", "ホームページを設置しているｻｰﾊﾞ(FTPｻｰﾊﾞ) のアドレスを設定します",
     1155, 735, 5265, 330},
    {"Label1(2)", "QLabel", "Frame4", "ユーザID", "", 315, 1260, 855, 225},
    {"FTPuserID", "QLineEdit", "Frame4", "", "FTPでホームページを転送する時に用いるユーザIDを指定します", 1155, 1155,
     2220, 330},
    {"Label1(3)", "QLabel", "Frame4", "パスワード", "", 3570, 1260, 855, 225},
    {"FTPuserPASS", "QLineEdit", "Frame4", "", "FTPでホームページを転送する時に用いるパスワードを指定します", 4515,
     1155, 1905, 330},
    {"Frame5", "QGroupBox", "Frame1", "実行 (IPアドレスの確認と、[設定1]～[設定9] のﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙの転送)", "", 105, 3675,
     6840, 2010},
    {"Label1(11)", "QLabel", "Frame5", "起動時の設定", "", 315, 315, 1275, 225},
    {"TASKTRAYcheck", "QCheckBox", "Frame5", "起動時からタスクトレイ化（ウィンドウは開きません）", "", 1575, 315, 4425,
     225},
    {"Label1(15)", "QLabel", "Frame5", "ログ出力", "", 315, 735, 960, 225},
    {"Log_Out_check", "QCheckBox", "Frame5", "ログ出力をします(Veltora.log)",
     "ここにチェックを入れると自動的に実行周期に転送します", 1575, 735, 2955, 225},
    {"Command6", "QPushButton", "Frame5", "ログ表示", "ログを表示します", 5565, 630, 1170, 330},
    {"Label1(10)", "QLabel", "Frame5", "自動実行", "", 315, 1155, 1170, 225},
    {"AutoExec", "QCheckBox", "Frame5", "有効", "ここにチェックを入れると自動的に実行周期に転送します", 1575, 1155, 750,
     225},
    {"TIMERset", "QComboBox", "Frame5", "5", "設定した時間周期でIPアドレスを確認します", 1575, 1470, 750, 300},
    {"Label1(20)", "QLabel", "Frame5", "分毎に自宅サーバのIPアドレスを確認し [設定1]～[設定9]を転送します", "", 2415,
     1470, 3165, 435},
    {"Command1", "QPushButton", "Frame5", "今すぐ実行", "今すぐIPアドレスの確認と[設定1]～[設定9]を実行します", 5565,
     1575, 1170, 330},
    {"OKcheck", "QCheckBox", "Frame2", "実行許可（下記の設定に従って、ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを置換してWebｻｰﾊﾞに転送します）",
     "ここをﾁｪｯｸすると自動的に置換・転送します", 105, 105, 6840, 225},
    {"Frame6", "QGroupBox", "Frame2", "", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列を自宅ｻｰﾊﾞのIPｱﾄﾞﾚｽに置換します", 105, 315, 6840,
     5370},
    {"Label3", "QLabel", "Frame6", "■転送元の設定", "", 210, 315, 1380, 225},
    {"Label2", "QLabel", "Frame6", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中の置換文字列をIPｱﾄﾞﾚｽ／時刻に置換して転送します", "", 1785, 315, 4635,
     435},
    {"Label1(5)", "QLabel", "Frame6", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ名", "", 420, 945, 1380, 225},
    {"FTPputFROM", "QLineEdit", "Frame6", "TEMPLATE.HTML", "このﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを置換してWebｻｰﾊﾞに転送します", 1890, 840,
     3795, 330},
    {"Command5", "QPushButton", "Frame6", "参照...", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを選びます", 5775, 840, 855, 330},
    {"Command4", "QPushButton", "Frame6", "表示", "ブラウザで表示します", 4830, 1260, 855, 330},
    {"Command3", "QPushButton", "Frame6", "編集...", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙをﾒﾓ帳で編集します", 5775, 1260, 855, 330},
    {"Label1(0)", "QLabel", "Frame6", "置換文字列", "", 420, 1680, 960, 225},
    {"CHIKANcheck0", "QCheckBox", "Frame6", "IPアドレス", "無効にする場合はチェックをはずします", 1680, 1680, 1065,
     225},
    {"CHIKANfrom0", "QLineEdit", "Frame6", "HOSTNAME", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列を自宅ｻｰﾊﾞのIPｱﾄﾞﾚｽに置換します", 2835,
     1680, 1380, 330},
    {"Label1(13)", "QLabel", "Frame6", "→", "", 4305, 1785, 330, 225},
    {"CHIKANto0", "QLineEdit", "Frame6", "HOSTNAME", "", 4515, 1680, 2115, 330},
    {"CHIKANcheck1", "QCheckBox", "Frame6", "時刻", "無効にする場合はチェックをはずします", 1680, 2100, 960, 225},
    {"CHIKANfrom1", "QLineEdit", "Frame6", "NOWDTTM", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列を時刻に置換します", 2835, 2100, 1380,
     330},
    {"Label1(1)", "QLabel", "Frame6", "→", "", 4305, 2205, 330, 225},
    {"CHIKANto1", "QLineEdit", "Frame6", "NOWDTTM", "", 4515, 2100, 2115, 330},
    {"Label4", "QLabel", "Frame6", "■転送先の設定", "", 210, 2625, 1485, 225},
    {"Label6", "QLabel", "Frame6", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙをWebｻｰﾊﾞの指定ﾃﾞｨﾚｸﾄﾘに転送します", "", 1785, 2625, 4425, 225},
    {"Label7", "QLabel", "Frame6", "さらに、ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを指定したﾌｧｲﾙ名にして転送します", "", 1785, 2835, 4740, 225},
    {"Label1(4)", "QLabel", "Frame6", "転送先ﾃﾞｨﾚｸﾄﾘ名", "", 420, 3255, 1380, 225},
    {"FTPdir", "QLineEdit", "Frame6", "public_html/", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを転送するﾃﾞｨﾚｸﾄﾘ名を指定します", 1890, 3150, 4740,
     330},
    {"Label1(7)", "QLabel", "Frame6", "転送先ﾌｧｲﾙ名", "", 420, 3675, 1380, 225},
    {"FTPputTO", "QLineEdit", "Frame6", "veltora.html", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙをこの名前に変更して転送します", 1890, 3570, 4740,
     330},
    {"Label5", "QLabel", "Frame6", "■実行条件", "", 210, 4200, 1170, 225},
    {"Label8", "QLabel", "Frame6", "ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを転送する契機を指定します", "", 1470, 4200, 3795, 225},
    {"EXEC_TIMING1", "OptionButton", "Frame6", "IPアドレス確認時", "IPアドレスの確認の度に転送します", 1470, 4515, 1800,
     225},
    {"EXEC_TIMING2", "OptionButton", "Frame6", "IPアドレス変更時", "IPアドレスが変更になった時にのみ転送します", 3360,
     4515, 1800, 225},
    {"EXEC_TIMING3", "OptionButton", "Frame6", "終了時", "Veltora終了時・シャットダウン時に転送します", 5355, 4515,
     1065, 225},
    {"Label1(14)", "QLabel", "Frame6", "転送結果 >>", "", 630, 4935, 960, 225},
    {"FTP_Kekka", "QLabel", "Frame6", "", "転送が失敗する場合、FTPﾂｰﾙでﾌｧｲﾙが送信できることを確認してください", 1680,
     4935, 3795, 225},
    {"FTPcommand", "QPushButton", "Frame6", "今すぐ転送", "今すぐﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを置換し、WebｻｰﾊﾞにFTPで転送します", 5565,
     4935, 1170, 330},
};

QString captionOf(const QWidget* widget)
{
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto* box = qobject_cast<const QGroupBox*>(widget))
        return box->title();
    if (auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentText();
    return widget->accessibleName();
}

// The named child widgets of a container, topmost first.
QStringList stackingOf(const QWidget* container)
{
    QStringList names;
    for (const QObject* child : container->children()) {
        if (child->isWidgetType() && !child->objectName().isEmpty() && !child->objectName().startsWith(u"qt_"))
            names.prepend(child->objectName());
    }
    return names;
}

QString focusNameOf(const QWidget* widget)
{
    if (qobject_cast<const QTabBar*>(widget) && widget->parentWidget())
        return widget->parentWidget()->objectName();
    return widget->objectName();
}

} // namespace

class TestMainFormLayout : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    MainForm* m_form = nullptr;

    template <class W = QWidget> W* control(const char* name) const
    {
        W* widget = m_form->findChild<W*>(QString::fromUtf8(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path())); // no settings file: the defaults
        m_form = new MainForm;
    }
    void cleanupTestCase() { delete m_form; }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QRect>("geometry");
        for (const Control& c : Controls) {
            QTest::newRow(c.name) << QString::fromUtf8(c.name) << QString::fromUtf8(c.kind)
                                  << QString::fromUtf8(c.parent) << QString::fromUtf8(c.caption)
                                  << QString::fromUtf8(c.toolTip)
                                  << QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15);
        }
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, parent);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        QFETCH(QRect, geometry);
        const QList<QWidget*> found = m_form->findChildren<QWidget*>(name);
        QCOMPARE(found.size(), 1);
        QWidget* widget = found.first();
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
        const QString parentName =
            widget->parentWidget() == m_form ? QStringLiteral("MainForm") : widget->parentWidget()->objectName();
        QCOMPARE(parentName, parent);
        QCOMPARE(captionOf(widget), caption);
        QCOMPARE(widget->toolTip(), toolTip);
        QCOMPARE(widget->geometry(), geometry);
    }

    void label1ArrayHasItsMembersOnly()
    {
        QStringList names;
        for (const QLabel* label : m_form->findChildren<QLabel*>()) {
            if (label->objectName().startsWith(u"Label1("))
                names << label->objectName();
        }
        names.sort();
        QStringList expected;
        for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20})
            expected << QStringLiteral("Label1(%1)").arg(i);
        expected.sort();
        QCOMPARE(names, expected);
    }

    void tabCaptions()
    {
        const QTabBar* tabs = control("TabStrip1")->findChild<QTabBar*>();
        QVERIFY(tabs);
        QStringList captions;
        for (int i = 0; i < tabs->count(); ++i)
            captions << tabs->tabText(i);
        QCOMPARE(captions, QStringList({"基本設定", "設定1", "設定2", "設定3", "設定4", "設定5", "設定6", "設定7",
                                        "設定8", "設定9"}));
        QCOMPARE(tabs->currentIndex(), 0);
        for (int i = 0; i < tabs->count(); ++i) {
            QVERIFY2(tabs->tabToolTip(i).isEmpty(), qPrintable(tabs->tabText(i)));
            // All ten tabs fit in one row inside the strip.
            QVERIFY2(tabs->tabRect(i).right() < control("TabStrip1")->width(), qPrintable(tabs->tabText(i)));
        }
    }

    void stacking_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QStringList>("topmostFirst");
        QTest::newRow("MainForm") << QString() << QStringList{"Ipv6Form",     "Frame2",   "Frame1", "TabStrip1",
                                                              "Command_SAVE", "Command2", "OK",     "FTP_now",
                                                              "Label1(12)",   "Line1",    "Image1"};
        QTest::newRow("Frame2") << "Frame2" << QStringList{"OKcheck", "Frame6"};
        QTest::newRow("Frame6") << "Frame6"
                                << QStringList{"Command5",    "Command4",     "Command3",     "FTPdir",
                                               "FTPputTO",    "CHIKANcheck1", "CHIKANcheck0", "CHIKANto1",
                                               "CHIKANfrom1", "FTPputFROM",   "CHIKANfrom0",  "CHIKANto0",
                                               "FTPcommand",  "EXEC_TIMING1", "EXEC_TIMING2", "EXEC_TIMING3",
                                               "FTP_Kekka",   "Label8",       "Label7",       "Label6",
                                               "Label1(1)",   "Label1(13)",   "Label3",       "Label1(4)",
                                               "Label1(7)",   "Label1(0)",    "Label1(5)",    "Label2",
                                               "Label1(14)",  "Label4",       "Label5"};
        QTest::newRow("Frame1") << "Frame1" << QStringList{"Frame5", "Frame4", "Frame3"};
        QTest::newRow("Frame5") << "Frame5" << QStringList{"Command6",   "Log_Out_check", "TASKTRAYcheck", "AutoExec",
                                                           "TIMERset",   "Command1",      "Label1(15)",    "Label1(11)",
                                                           "Label1(10)", "Label1(20)"};
        QTest::newRow("Frame4") << "Frame4" << QStringList{"FTPserverName", "FTPuserID", "FTPuserPASS", "Label1(2)",
                                                           "Label1(3)",     "Label1(8)", "Label1(16)"};
        QTest::newRow("Frame3") << "Frame3" << QStringList{"GetGlobalIP", "GlobalURL",  "Command7",  "UseRoute(1)",
                                                           "UseRoute(0)", "IP_address", "Label1(9)", "Label1(6)"};
    }
    void stacking()
    {
        QFETCH(QString, container);
        QFETCH(QStringList, topmostFirst);
        const QWidget* widget = container.isEmpty() ? m_form : control(qPrintable(container));
        QCOMPARE(stackingOf(widget), topmostFirst);
    }

    void window()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral(" Veltora 設定"));
        // Narrowed to Line1's X coordinate; the designed height stays.
        QCOMPARE(control("Line1")->x(), 7665 / 15);
        QCOMPARE(m_form->width(), 511);
        QCOMPARE(m_form->height(), 7515 / 15);
        QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
        QVERIFY(!(m_form->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!m_form->windowIcon().isNull());
        QVERIFY(m_form->windowIcon().availableSizes().contains(QSize(16, 16)));
        QVERIFY(m_form->windowIcon().availableSizes().contains(QSize(32, 32)));
        const QPixmap banner = control<QLabel>("Image1")->pixmap();
        QCOMPARE(banner.size(), QSize(125, 32));
    }

    void parkingAreaLiesRightOfTheWindow()
    {
        for (const char* name : {"Frame2", "Line1"})
            QVERIFY2(control(name)->x() >= m_form->width(), name);
        // Everything the user does see lies left of it.
        for (const char* name : {"TabStrip1", "Frame1", "OK", "Command_SAVE", "Command2", "FTP_now", "Image1"})
            QVERIFY2(control(name)->geometry().right() < m_form->width(), name);
    }

    void windowCentredOnScreen()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        // The frame's size is known only once the window is shown: centred within the frame's margins.
        const QRect frame = m_form->frameGeometry();
        QVERIFY(qAbs(frame.center().x() - screen.center().x()) <= 2 + (frame.width() - m_form->width()));
        QVERIFY(qAbs(frame.center().y() - screen.center().y()) <= 2 + (frame.height() - m_form->height()));
    }

    void headingsAreBoldJapaneseGothic_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("heading");
        QTest::newRow("Label3") << "Label3" << true;
        QTest::newRow("Label4") << "Label4" << true;
        QTest::newRow("Label5") << "Label5" << true;
        QTest::newRow("Label2") << "Label2" << false;
        QTest::newRow("Label1(5)") << "Label1(5)" << false;
        QTest::newRow("OKcheck") << "OKcheck" << false;
    }
    void headingsAreBoldJapaneseGothic()
    {
        QFETCH(QString, name);
        QFETCH(bool, heading);
        const QFont font = control(qPrintable(name))->font();
        QCOMPARE(font.bold(), heading);
        QCOMPARE(font.families().value(0) == QStringLiteral("ＭＳ Ｐゴシック"), heading);
        QCOMPARE(font.pixelSize(), 12); // 9 pt at 96 dots per inch
    }

    void displayLabels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("IP_address") << "IP_address";
        QTest::newRow("FTP_now") << "FTP_now";
        QTest::newRow("FTP_Kekka") << "FTP_Kekka";
    }
    void displayLabels()
    {
        QFETCH(QString, name);
        auto* label = control<QLabel>(qPrintable(name));
        QVERIFY(label->frameShape() != QFrame::NoFrame);
        QCOMPARE(label->lineWidth(), 1);
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QVERIFY(label->autoFillBackground());
        QCOMPARE(label->palette().color(QPalette::Window), QApplication::palette("QMenu").color(QPalette::Window));
        QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
    }

    void passwordShowsStarsAndTakesNoInputMethod()
    {
        auto* pass = control<QLineEdit>("FTPuserPASS");
        QCOMPARE(pass->echoMode(), QLineEdit::Password);
        QCOMPARE(pass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, pass), int('*'));
        QVERIFY(!pass->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(pass->inputMethodHints() & Qt::ImhHiddenText);
        pass->setText(QStringLiteral("s3cret"));
        QCOMPARE(pass->displayText(), QStringLiteral("******"));
        QCOMPARE(pass->text(), QStringLiteral("s3cret"));
        pass->clear();
    }

    void replacementTextsCannotBeEdited()
    {
        for (const char* name : {"CHIKANto0", "CHIKANto1"}) {
            QWidget* box = control(name);
            QVERIFY2(!box->isEnabled(), name);
            QVERIFY2(!box->isEnabledTo(m_form), name);
        }
    }

    void timerSetOffersOnlyItsList()
    {
        auto* combo = control<QComboBox>("TIMERset");
        QVERIFY(!combo->isEditable());
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, QStringList({"1",  "2",   "3",   "4",   "5",   "10",  "15",  "20",  "30",  "45",
                                     "60", "120", "180", "240", "300", "360", "420", "480", "540", "600"}));
    }

    void keyboardOrder()
    {
        const QStringList expected{"UseRoute(0)",   "Command7",     "GlobalURL",   "UseRoute(1)",   "GetGlobalIP",
                                   "FTPserverName", "FTPuserID",    "FTPuserPASS", "TASKTRAYcheck", "Log_Out_check",
                                   "Command6",      "AutoExec",     "TIMERset",    "Command1",      "OK",
                                   "Command_SAVE",  "Command2",     "TabStrip1",   "OKcheck",       "FTPputFROM",
                                   "Command5",      "Command4",     "Command3",    "CHIKANcheck0",  "CHIKANfrom0",
                                   "CHIKANcheck1",  "CHIKANfrom1",  "FTPdir",      "FTPputTO",      "EXEC_TIMING1",
                                   "EXEC_TIMING2",  "EXEC_TIMING3", "FTPcommand"};
        // Walk the focus chain once round from the first control and keep the controls that take the focus.
        QStringList order;
        QWidget* first = control("UseRoute(0)");
        QWidget* widget = first;
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabledTo(m_form) && widget->isVisibleTo(m_form) &&
                widget != m_form)
                order << focusNameOf(widget);
            widget = widget->nextInFocusChain();
        } while (widget != first);
        QCOMPARE(order, expected);
    }

    void opensWithFocusOnTheRouterChoice()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form));
        QCOMPARE(QApplication::focusWidget(), control("UseRoute(0)"));
        m_form->hide();
    }

    void bannerReportsAClick()
    {
        auto* banner = m_form->findChild<ImageLabel*>(QStringLiteral("Image1"));
        QVERIFY(banner);
        QSignalSpy clicked(banner, &ImageLabel::clicked);
        QTest::mouseClick(banner, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(clicked.count(), 1);
        QTest::mouseClick(banner, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(clicked.count(), 1);
    }

    void optionGroups()
    {
        auto* t1 = control<QAbstractButton>("EXEC_TIMING1");
        auto* t2 = control<QAbstractButton>("EXEC_TIMING2");
        auto* t3 = control<QAbstractButton>("EXEC_TIMING3");
        auto* r0 = control<QAbstractButton>("UseRoute(0)");
        auto* r1 = control<QAbstractButton>("UseRoute(1)");
        QVERIFY(t2->isChecked() && !t1->isChecked() && !t3->isChecked());

        QTest::mouseClick(t1, Qt::LeftButton);
        QVERIFY(t1->isChecked() && !t2->isChecked() && !t3->isChecked());
        // Clicking the selected button keeps it selected.
        QTest::mouseClick(t1, Qt::LeftButton);
        QVERIFY(t1->isChecked() && !t2->isChecked() && !t3->isChecked());
        // Space on the focused button selects it.
        t3->setFocus();
        QTest::keyClick(t3, Qt::Key_Space);
        QVERIFY(!t1->isChecked() && !t2->isChecked() && t3->isChecked());

        // The two groups are independent.
        QVERIFY(r0->isChecked());
        QTest::mouseClick(r1, Qt::LeftButton);
        QVERIFY(!r0->isChecked() && r1->isChecked() && t3->isChecked());
        QTest::mouseClick(r0, Qt::LeftButton);
        QVERIFY(r0->isChecked() && !r1->isChecked());

        t2->setChecked(true);
        QVERIFY(!t1->isChecked() && t2->isChecked() && !t3->isChecked());
    }
};

QTEST_MAIN(TestMainFormLayout)
#include "test_main_form_layout.moc"
