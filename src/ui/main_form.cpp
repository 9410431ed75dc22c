#include "ui/main_form.h"

#include "platform/gui/shell_open.h"
#include "platform/server_identity.h"
#include "platform/gui/text_editor.h"
#include "platform/termination_signals.h"
#include "settings/ini_file.h"
#include "ui/about_dialog.h"
#include "ui/controls.h"
#include "ui/file_dialog.h"
#include "ui/form_controls.h"
#include "ui/ipv6_form.h"
#include "ui/message_box.h"
#include "ui/qt_translations.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>

// Resources of a static library are registered by hand; the macro must stand outside any namespace.
static void initArtwork()
{
    Q_INIT_RESOURCE(artwork);
}

using namespace FormControls;

namespace {

const QString Caption = QStringLiteral(" Veltora 設定");

// The designed client area; at run time only the part left of Line1 is shown.
constexpr int DesignWidthTwips = 15150;
constexpr int DesignHeightTwips = 7515;

// Offset of a page from the top left of the tab strip's client area.
constexpr int PageLeftTwips = 50;
constexpr int PageTopTwips = 100;

// Shows every character of a password as "*", whatever the platform's own mask character.
class StarPasswordStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle* starPasswordStyle()
{
    // Owned by the application, so that it outlives every widget that uses it.
    static QPointer<QStyle> style;
    if (!style) {
        style = new StarPasswordStyle;
        style->setParent(qApp);
    }
    return style;
}

QFont headingFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPA Pゴシック"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("Sans Serif")});
    font.setPixelSize(12); // 9 pt at 96 dots per inch
    font.setBold(true);
    return font;
}

// A frame without border: its caption is not drawn, so it is kept as the accessible name only. Opaque, since
// the page in front hides the other one.
QFrame* page(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry)
{
    auto* widget = place(new QFrame(parent), name, geometry);
    widget->setFrameStyle(QFrame::NoFrame);
    widget->setAutoFillBackground(true);
    widget->setAccessibleName(caption);
    return widget;
}

} // namespace

MainForm::MainForm(const CodePage& codePage, QWidget* parent)
    : QWidget(parent), m_engine(*this, codePage),
      m_resident(m_engine, Resident::SettingsOnEnd::Save, Resident::TimerOnStart::AsAutoExecSays)
{
    QtTranslations::installJapanese();
    initArtwork();
    setWindowTitle(Caption);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    QIcon icon;
    icon.addFile(QStringLiteral(":/ui/veltora-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/ui/veltora-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/ui/veltora-32-256.png"), QSize(32, 32));
    setWindowIcon(icon);
    setFont(baseFont());
    setFixedSize(twipsToPixels(DesignWidthTwips), twipsToPixels(DesignHeightTwips));

    createControls();
    setKeyboardOrder();
    connect(m_TabStrip1, &TabStrip::clicked, this, &MainForm::TabStrip1_Click);
    connect(m_Command_SAVE, &QPushButton::clicked, this, &MainForm::Command_SAVE_Click);
    connect(m_AutoExec, &QCheckBox::clicked, this, &MainForm::AutoExec_Click);
    connect(m_OK, &QPushButton::clicked, this, &MainForm::OK_Click);
    connect(m_Command2, &QPushButton::clicked, this, &MainForm::Command2_Click);
    connect(m_Command3, &QPushButton::clicked, this, &MainForm::Command3_Click);
    connect(m_Command4, &QPushButton::clicked, this, &MainForm::Command4_Click);
    connect(m_Command5, &QPushButton::clicked, this, &MainForm::Command5_Click);
    connect(m_Command6, &QPushButton::clicked, this, &MainForm::Command6_Click);
    connect(m_Image1, &ImageLabel::clicked, this, &MainForm::Image1_Click);
    connect(m_Command7, &QPushButton::clicked, this, &MainForm::Command7_Click);
    connect(m_Command1, &QPushButton::clicked, &m_engine, &Engine::Command1_Click);
    connect(m_FTPcommand, &QPushButton::clicked, &m_engine, &Engine::FTPcommand_Click);
    connect(m_GetGlobalIP, &QPushButton::clicked, &m_engine, &Engine::GetGlobalIP_Click);

    // The program ends when its shutdown has run, not when its last window closes: it may live in the
    // notification area with no window shown, and the about box or the editor may close meanwhile.
    QApplication::setQuitOnLastWindowClosed(false);
    m_terminationSignals = new TerminationSignals(this);
    connect(m_terminationSignals, &TerminationSignals::terminationRequested, this,
            [this] { Form_QueryUnload(CloseBySystem); });
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { Form_QueryUnload(CloseBySystem); });
    connect(&m_resident, &Resident::settingsLoaded, this, [this] { m_tray.Add_TaskTray(this); });
    connect(&m_tray, &TaskTray::runNowRequested, &m_engine, &Engine::Command1_Click, Qt::QueuedConnection);
    connect(&m_tray, &TaskTray::endRequested, this, &MainForm::OK_Click, Qt::QueuedConnection);
    connect(&m_engine, &Engine::stateChanged, &m_tray, &TaskTray::notify);
    connect(&m_resident, &Resident::commitRequested, this, [this] { Set_Memory(m_engine.SelectedTab - 2); });
    connect(&m_resident, &Resident::exitRunDone, this, [this] { m_tray.Del_TaskTray(); });
    connect(&m_resident, &Resident::ended, this, &MainForm::Form_Unload);

    Form_Load();
}

MainForm::~MainForm() = default;

void MainForm::createControls()
{
    // Siblings are created from the bottom of the stacking order up, so that the later lie on top.
    m_Image1 = place(new ImageLabel(this), QStringLiteral("Image1"), twipsRect(105, 6930, 1875, 480));
    m_Image1->setPixmap(QPixmap(QStringLiteral(":/ui/banner.png")));
    m_Image1->setCursor(Qt::PointingHandCursor);

    // Its X coordinate is the width of the window at run time; it lies right of that and is never seen.
    m_Line1 = place(new QFrame(this), QStringLiteral("Line1"),
                    QRect(twipsToPixels(7665), twipsToPixels(5145), 1, twipsToPixels(6090 - 5145)));
    m_Line1->setFrameStyle(QFrame::VLine | QFrame::Plain);

    label1(this, 12, QStringLiteral("最終実行履歴 >>"), twipsRect(630, 6615, 1380, 225));
    m_FTP_now =
        displayLabel(this, QStringLiteral("FTP_now"), QStringLiteral("未実行"), twipsRect(1995, 6615, 3795, 225));
    m_OK = button(this, QStringLiteral("OK"), QStringLiteral("常駐終了"), twipsRect(2625, 7035, 1275, 330),
                  QStringLiteral("設定を保存して常駐を終了します"));
    m_Command2 = button(this, QStringLiteral("Command2"), QStringLiteral("OK"), twipsRect(6195, 7035, 1275, 330),
                        QStringLiteral("表示を隠します。タスクトレイ内のアイコンをクリックすると再び開きます"));
    // Command2 is the window's cancel button: Esc clicks it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_Command2, &QPushButton::animateClick);
    m_Command_SAVE = button(this, QStringLiteral("Command_SAVE"), QStringLiteral("設定保存"),
                            twipsRect(4725, 7035, 1275, 330), QStringLiteral("設定を保存します"));

    QStringList tabs{QStringLiteral("基本設定")};
    for (int n = 1; n <= SlotCount; ++n)
        tabs << QStringLiteral("設定%1").arg(n);
    m_TabStrip1 = place(new TabStrip(tabs, this), QStringLiteral("TabStrip1"), twipsRect(105, 105, 7365, 6315));

    // Shared-settings page.
    m_Frame1 = page(this, QStringLiteral("Frame1"), QStringLiteral("Webサーバ設定"), twipsRect(210, 525, 6945, 5685));

    m_Frame3 = frame(m_Frame1, QStringLiteral("Frame3"), QStringLiteral("IPアドレス確認用サーバ設定"),
                     twipsRect(105, 105, 6840, 1695));
    label1(m_Frame3, 6, QStringLiteral("現在の自宅サーバのIPアドレス >>"), twipsRect(315, 1365, 2640, 225));
    label1(m_Frame3, 9, QStringLiteral("確認サーバのURL"), twipsRect(525, 630, 1485, 225));
    m_IP_address = displayLabel(m_Frame3, QStringLiteral("IP_address"), QStringLiteral("未取得"),
                                twipsRect(3045, 1365, 2325, 225));
    m_UseRoute[0] = optionButton(
        m_Frame3, QStringLiteral("UseRoute(0)"), QStringLiteral("ルータ使用（自宅サーバにはローカルIPアドレスを使用）"),
        twipsRect(210, 210, 5685, 330),
        QStringLiteral("IPﾏｽｶﾚｰﾄﾞやNAT機能を使用している場合やﾃﾞﾌｫﾙﾄではこちらを選択します"), true);
    m_UseRoute[1] =
        optionButton(m_Frame3, QStringLiteral("UseRoute(1)"),
                     QStringLiteral("ルータ使用せず（自宅サーバにグローバルIPが割り当てられている場合など）"),
                     twipsRect(210, 945, 6315, 330),
                     QStringLiteral("ｲﾝﾀｰﾈｯﾄに自宅サーバが直結している場合はこちらを選択します"), false);
    OptionButton::makeGroup({m_UseRoute[0], m_UseRoute[1]});
    // In the free corner right of the router choice: the basic page has no room for more.
    m_Command7 = button(m_Frame3, QStringLiteral("Command7"), QStringLiteral("IPv6..."), twipsRect(5985, 180, 750, 330),
                        QStringLiteral("IPv6ｱﾄﾞﾚｽの確認と置換文字列を設定します"));
    m_GlobalURL = textBox(m_Frame3, QStringLiteral("GlobalURL"), QString::fromLatin1(DefaultGlobalUrl),
                          twipsRect(2100, 525, 4320, 330), QStringLiteral("自宅ｻｰﾊﾞのIPｱﾄﾞﾚｽを、このｻｲﾄで確認します"));
    m_GetGlobalIP =
        button(m_Frame3, QStringLiteral("GetGlobalIP"), QStringLiteral("今すぐ確認"), twipsRect(5565, 1260, 1170, 330),
               QStringLiteral("今すぐ自宅サーバのIPアドレスを確認します"));

    m_Frame4 = frame(m_Frame1, QStringLiteral("Frame4"), QStringLiteral("Webサーバ設定 (FTPサーバ設定)"),
                     twipsRect(105, 1890, 6840, 1695));
    twoLineLabel(label1(m_Frame4, 16,
                        QStringLiteral("[設定1]～[設定9] で指定のﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを転送する先のWebｻｰﾊﾞ（ﾎｰﾑﾍﾟｰｼﾞ用のｻｰﾊﾞの"
                                       "ｱﾄﾞﾚｽと、転送に必要なﾕｰｻﾞIDとﾊﾟｽﾜｰﾄﾞ ） を指定します"),
                        twipsRect(315, 315, 6420, 435)));
    label1(m_Frame4, 8, QStringLiteral("サーバ名"), twipsRect(315, 840, 855, 225));
    label1(m_Frame4, 3, QStringLiteral("パスワード"), twipsRect(3570, 1260, 855, 225));
    label1(m_Frame4, 2, QStringLiteral("ユーザID"), twipsRect(315, 1260, 855, 225));
    m_FTPuserPASS = textBox(m_Frame4, QStringLiteral("FTPuserPASS"), QString(), twipsRect(4515, 1155, 1905, 330),
                            QStringLiteral("FTPでホームページを転送する時に用いるパスワードを指定します"));
    m_FTPuserPASS->setStyle(starPasswordStyle());
    m_FTPuserPASS->setEchoMode(QLineEdit::Password);
    m_FTPuserPASS->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_FTPuserPASS->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                                       Qt::ImhNoAutoUppercase | Qt::ImhLatinOnly);
    m_FTPuserID = textBox(m_Frame4, QStringLiteral("FTPuserID"), QString(), twipsRect(1155, 1155, 2220, 330),
                          QStringLiteral("FTPでホームページを転送する時に用いるユーザIDを指定します"));
    m_FTPserverName =
        textBox(m_Frame4, QStringLiteral("FTPserverName"), QStringLiteral("ftp://"), twipsRect(1155, 735, 5265, 330),
                QStringLiteral("ホームページを設置しているｻｰﾊﾞ(FTPｻｰﾊﾞ) のアドレスを設定します"));

    m_Frame5 = frame(m_Frame1, QStringLiteral("Frame5"),
                     QStringLiteral("実行 (IPアドレスの確認と、[設定1]～[設定9] のﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙの転送)"),
                     twipsRect(105, 3675, 6840, 2010));
    twoLineLabel(label1(m_Frame5, 20,
                        QStringLiteral("分毎に自宅サーバのIPアドレスを確認し [設定1]～[設定9]を転送します"),
                        twipsRect(2415, 1470, 3165, 435)));
    label1(m_Frame5, 10, QStringLiteral("自動実行"), twipsRect(315, 1155, 1170, 225));
    label1(m_Frame5, 11, QStringLiteral("起動時の設定"), twipsRect(315, 315, 1275, 225));
    label1(m_Frame5, 15, QStringLiteral("ログ出力"), twipsRect(315, 735, 960, 225));
    m_Command1 =
        button(m_Frame5, QStringLiteral("Command1"), QStringLiteral("今すぐ実行"), twipsRect(5565, 1575, 1170, 330),
               QStringLiteral("今すぐIPアドレスの確認と[設定1]～[設定9]を実行します"));
    m_TIMERset = place(new QComboBox(m_Frame5), QStringLiteral("TIMERset"), twipsRect(1575, 1470, 750, 300),
                       QStringLiteral("設定した時間周期でIPアドレスを確認します"));
    m_TIMERset->setEditable(false);
    m_TIMERset->addItems(timerSetTexts());
    m_TIMERset->setMaxVisibleItems(timerSetTexts().size());
    m_AutoExec = checkBox(m_Frame5, QStringLiteral("AutoExec"), QStringLiteral("有効"), twipsRect(1575, 1155, 750, 225),
                          QStringLiteral("ここにチェックを入れると自動的に実行周期に転送します"), false);
    m_TASKTRAYcheck = checkBox(m_Frame5, QStringLiteral("TASKTRAYcheck"),
                               QStringLiteral("起動時からタスクトレイ化（ウィンドウは開きません）"),
                               twipsRect(1575, 315, 4425, 225), QString(), false);
    m_Log_Out_check = checkBox(m_Frame5, QStringLiteral("Log_Out_check"),
                               QStringLiteral("ログ出力をします(Veltora.log)"), twipsRect(1575, 735, 2955, 225),
                               QStringLiteral("ここにチェックを入れると自動的に実行周期に転送します"), true);
    m_Command6 = button(m_Frame5, QStringLiteral("Command6"), QStringLiteral("ログ表示"),
                        twipsRect(5565, 630, 1170, 330), QStringLiteral("ログを表示します"));

    // Slot page, designed in the parking area right of Line1.
    m_Frame2 = page(this, QStringLiteral("Frame2"), QString(), twipsRect(7875, 525, 7050, 5790));

    m_Frame6 = frame(m_Frame2, QStringLiteral("Frame6"), QString(), twipsRect(105, 315, 6840, 5370),
                     QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列を自宅ｻｰﾊﾞのIPｱﾄﾞﾚｽに置換します"));
    const QFont heading = headingFont();
    label(m_Frame6, QStringLiteral("Label5"), QStringLiteral("■実行条件"), twipsRect(210, 4200, 1170, 225))
        ->setFont(heading);
    label(m_Frame6, QStringLiteral("Label4"), QStringLiteral("■転送先の設定"), twipsRect(210, 2625, 1485, 225))
        ->setFont(heading);
    label1(m_Frame6, 14, QStringLiteral("転送結果 >>"), twipsRect(630, 4935, 960, 225));
    twoLineLabel(label(m_Frame6, QStringLiteral("Label2"),
                       QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中の置換文字列をIPｱﾄﾞﾚｽ／時刻に置換して転送します"),
                       twipsRect(1785, 315, 4635, 435)));
    label1(m_Frame6, 5, QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ名"), twipsRect(420, 945, 1380, 225));
    label1(m_Frame6, 0, QStringLiteral("置換文字列"), twipsRect(420, 1680, 960, 225));
    label1(m_Frame6, 7, QStringLiteral("転送先ﾌｧｲﾙ名"), twipsRect(420, 3675, 1380, 225));
    label1(m_Frame6, 4, QStringLiteral("転送先ﾃﾞｨﾚｸﾄﾘ名"), twipsRect(420, 3255, 1380, 225));
    label(m_Frame6, QStringLiteral("Label3"), QStringLiteral("■転送元の設定"), twipsRect(210, 315, 1380, 225))
        ->setFont(heading);
    label1(m_Frame6, 13, QStringLiteral("→"), twipsRect(4305, 1785, 330, 225));
    label1(m_Frame6, 1, QStringLiteral("→"), twipsRect(4305, 2205, 330, 225));
    label(m_Frame6, QStringLiteral("Label6"), QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙをWebｻｰﾊﾞの指定ﾃﾞｨﾚｸﾄﾘに転送します"),
          twipsRect(1785, 2625, 4425, 225));
    label(m_Frame6, QStringLiteral("Label7"), QStringLiteral("さらに、ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを指定したﾌｧｲﾙ名にして転送します"),
          twipsRect(1785, 2835, 4740, 225));
    label(m_Frame6, QStringLiteral("Label8"), QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを転送する契機を指定します"),
          twipsRect(1470, 4200, 3795, 225));
    m_FTP_Kekka = displayLabel(m_Frame6, QStringLiteral("FTP_Kekka"), QString(), twipsRect(1680, 4935, 3795, 225),
                               QStringLiteral("転送が失敗する場合、FTPﾂｰﾙでﾌｧｲﾙが送信できることを確認してください"));
    m_EXEC_TIMING3 = optionButton(m_Frame6, QStringLiteral("EXEC_TIMING3"), QStringLiteral("終了時"),
                                  twipsRect(5355, 4515, 1065, 225),
                                  QStringLiteral("Veltora終了時・シャットダウン時に転送します"), false);
    m_EXEC_TIMING2 = optionButton(m_Frame6, QStringLiteral("EXEC_TIMING2"), QStringLiteral("IPアドレス変更時"),
                                  twipsRect(3360, 4515, 1800, 225),
                                  QStringLiteral("IPアドレスが変更になった時にのみ転送します"), true);
    m_EXEC_TIMING1 =
        optionButton(m_Frame6, QStringLiteral("EXEC_TIMING1"), QStringLiteral("IPアドレス確認時"),
                     twipsRect(1470, 4515, 1800, 225), QStringLiteral("IPアドレスの確認の度に転送します"), false);
    OptionButton::makeGroup({m_EXEC_TIMING1, m_EXEC_TIMING2, m_EXEC_TIMING3});
    m_FTPcommand =
        button(m_Frame6, QStringLiteral("FTPcommand"), QStringLiteral("今すぐ転送"), twipsRect(5565, 4935, 1170, 330),
               QStringLiteral("今すぐﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを置換し、WebｻｰﾊﾞにFTPで転送します"));
    m_CHIKANto0 =
        textBox(m_Frame6, QStringLiteral("CHIKANto0"), QStringLiteral("HOSTNAME"), twipsRect(4515, 1680, 2115, 330));
    m_CHIKANto0->setEnabled(false);
    m_CHIKANfrom0 =
        textBox(m_Frame6, QStringLiteral("CHIKANfrom0"), QStringLiteral("HOSTNAME"), twipsRect(2835, 1680, 1380, 330),
                QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列を自宅ｻｰﾊﾞのIPｱﾄﾞﾚｽに置換します"));
    m_FTPputFROM =
        textBox(m_Frame6, QStringLiteral("FTPputFROM"), QStringLiteral("TEMPLATE.HTML"),
                twipsRect(1890, 840, 3795, 330), QStringLiteral("このﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを置換してWebｻｰﾊﾞに転送します"));
    m_CHIKANfrom1 =
        textBox(m_Frame6, QStringLiteral("CHIKANfrom1"), QStringLiteral("NOWDTTM"), twipsRect(2835, 2100, 1380, 330),
                QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列を時刻に置換します"));
    m_CHIKANto1 =
        textBox(m_Frame6, QStringLiteral("CHIKANto1"), QStringLiteral("NOWDTTM"), twipsRect(4515, 2100, 2115, 330));
    m_CHIKANto1->setEnabled(false);
    m_CHIKANcheck0 =
        checkBox(m_Frame6, QStringLiteral("CHIKANcheck0"), QStringLiteral("IPアドレス"),
                 twipsRect(1680, 1680, 1065, 225), QStringLiteral("無効にする場合はチェックをはずします"), true);
    m_CHIKANcheck1 =
        checkBox(m_Frame6, QStringLiteral("CHIKANcheck1"), QStringLiteral("時刻"), twipsRect(1680, 2100, 960, 225),
                 QStringLiteral("無効にする場合はチェックをはずします"), true);
    m_FTPputTO = textBox(m_Frame6, QStringLiteral("FTPputTO"), QStringLiteral("veltora.html"),
                         twipsRect(1890, 3570, 4740, 330), QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙをこの名前に変更して転送します"));
    m_FTPdir = textBox(m_Frame6, QStringLiteral("FTPdir"), QStringLiteral("public_html/"),
                       twipsRect(1890, 3150, 4740, 330), QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを転送するﾃﾞｨﾚｸﾄﾘ名を指定します"));
    m_Command3 = button(m_Frame6, QStringLiteral("Command3"), QStringLiteral("編集..."),
                        twipsRect(5775, 1260, 855, 330), QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙをﾒﾓ帳で編集します"));
    m_Command4 = button(m_Frame6, QStringLiteral("Command4"), QStringLiteral("表示"), twipsRect(4830, 1260, 855, 330),
                        QStringLiteral("ブラウザで表示します"));
    m_Command5 = button(m_Frame6, QStringLiteral("Command5"), QStringLiteral("参照..."), twipsRect(5775, 840, 855, 330),
                        QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを選びます"));

    m_Ipv6Form = new Ipv6Form(this);
    connect(m_Ipv6Form, &Ipv6Form::accepted, this, [this] {
        const SettingsModel before = m_engine.settings;
        m_Ipv6Form->commitSettings(m_engine.settings);
        const QList<int> changed = resetChangedResults(before, m_engine.settings);
        if (m_engine.SelectedTab >= 2 && changed.contains(m_engine.SelectedTab - 2))
            m_FTP_Kekka->setText(m_engine.settings.slot[m_engine.SelectedTab - 2].ResultText);
        showAddressToolTip();
    });

    m_OKcheck =
        checkBox(m_Frame2, QStringLiteral("OKcheck"),
                 QStringLiteral("実行許可（下記の設定に従って、ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙを置換してWebｻｰﾊﾞに転送します）"),
                 twipsRect(105, 105, 6840, 225), QStringLiteral("ここをﾁｪｯｸすると自動的に置換・転送します"), true);
}

void MainForm::setKeyboardOrder()
{
    const QList<QWidget*> order{
        m_UseRoute[0],   m_Command7,     m_GlobalURL,
        m_UseRoute[1],   m_GetGlobalIP,  m_FTPserverName,
        m_FTPuserID,     m_FTPuserPASS,  m_TASKTRAYcheck,
        m_Log_Out_check, m_Command6,     m_AutoExec,
        m_TIMERset,      m_Command1,     m_OK,
        m_Command_SAVE,  m_Command2,     m_TabStrip1->tabBar(),
        m_OKcheck,       m_FTPputFROM,   m_Command5,
        m_Command4,      m_Command3,     m_CHIKANcheck0,
        m_CHIKANfrom0,   m_CHIKANcheck1, m_CHIKANfrom1,
        m_FTPdir,        m_FTPputTO,     m_EXEC_TIMING1,
        m_EXEC_TIMING2,  m_EXEC_TIMING3, m_FTPcommand,
    };
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void MainForm::Form_Load()
{
    // Only the part left of Line1 is the window; the parking area beyond is never seen.
    setFixedSize(m_Line1->x(), height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(0, 0), size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }

    m_resident.start();
    const IniLoad& load = m_resident.settingsLoad();
    if (!load.faults.isEmpty()) {
        // What the file held on those lines is not in the window, and the next save would leave it out.
        QStringList lines;
        for (const IniFault& fault : load.faults)
            lines << describeIniFault(load.fileName, fault);
        lines << QStringLiteral("その行の設定は既定値のままです。設定保存を押すと、読めた設定だけが保存されます。");
        MessageBox::showWarning(this, QStringLiteral("設定ファイル"), lines.join(QLatin1Char('\n')));
    }
    const bool startHidden = m_engine.settings.global.TASKTRAY == 1;
    if (startHidden)
        m_tray.hideWindow(this);
    Put_Memory(-2);
    m_UseRoute[0]->setFocus();
    if (!startHidden)
        show();
}

QString MainForm::IP_address() const
{
    return m_IP_address->text();
}

void MainForm::setIP_address(const QString& caption)
{
    m_IP_address->setText(caption);
}

QString MainForm::CHIKANto0() const
{
    return m_CHIKANto0->text();
}

void MainForm::setCHIKANto0(const QString& text)
{
    m_CHIKANto0->setText(text);
}

QString MainForm::CHIKANto1() const
{
    return m_CHIKANto1->text();
}

void MainForm::setCHIKANto1(const QString& text)
{
    m_CHIKANto1->setText(text);
}

QString MainForm::FTP_now() const
{
    return m_FTP_now->text();
}

void MainForm::setFTP_now(const QString& caption)
{
    m_FTP_now->setText(caption);
}

QString MainForm::FTP_Kekka() const
{
    return m_FTP_Kekka->text();
}

void MainForm::setFTP_Kekka(const QString& caption)
{
    m_FTP_Kekka->setText(caption);
}

void MainForm::setIP_addressToolTip(const QString& text)
{
    m_addressToolTip = text;
    showAddressToolTip();
}

QString MainForm::IP_address6() const
{
    return m_Ipv6Form->addressLabel()->text();
}

void MainForm::setIP_address6(const QString& caption)
{
    m_Ipv6Form->addressLabel()->setText(caption);
    showAddressToolTip();
}

QString MainForm::CHIKANto2() const
{
    return m_Ipv6Form->replacementBox()->text();
}

void MainForm::setCHIKANto2(const QString& text)
{
    m_Ipv6Form->replacementBox()->setText(text);
}

void MainForm::setIP_address6ToolTip(const QString& text)
{
    m_address6ToolTip = text;
    m_Ipv6Form->addressLabel()->setToolTip(text);
    showAddressToolTip();
}

void MainForm::showAddressToolTip()
{
    // The line is as wide as an IPv4 address: the IPv6 address stands behind it, in full.
    QString text = m_addressToolTip;
    if (m_engine.settings.global.USEIPV6 != Ipv6Off) {
        QString line = QStringLiteral("IPv6: ") + IP_address6();
        if (!m_address6ToolTip.isEmpty())
            line += QStringLiteral(" (") + m_address6ToolTip + QLatin1Char(')');
        text = text.isEmpty() ? line : text + QLatin1Char('\n') + line;
    }
    m_IP_address->setToolTip(text);
}

void MainForm::setFTP_nowToolTip(const QString& text)
{
    m_FTP_now->setToolTip(text);
}

void MainForm::setFTP_KekkaToolTip(const QString& text)
{
    m_FTP_Kekka->setToolTip(text);
}

bool MainForm::askTrust(const ServerIdentity& identity)
{
    return MessageBox::askTrust(this, QStringLiteral("サーバーの確認"), identity.trustQuestion(),
                                identity.mayBeTrusted());
}

QString MainForm::GlobalURL() const
{
    return m_GlobalURL->text();
}

bool MainForm::UseRoute(int index) const
{
    return index >= 0 && index < int(m_UseRoute.size()) && m_UseRoute[index]->value();
}

QString MainForm::TIMERset() const
{
    return m_TIMERset->currentText();
}

void MainForm::Set_Memory(int No)
{
    const SettingsModel before = m_engine.settings;
    commitShown(No);
    // A slot now sending another page, or to another place, has not run yet for it.
    const QList<int> changed = resetChangedResults(before, m_engine.settings);
    if (m_engine.SelectedTab >= 2 && changed.contains(m_engine.SelectedTab - 2))
        m_FTP_Kekka->setText(m_engine.settings.slot[m_engine.SelectedTab - 2].ResultText);
}

void MainForm::commitShown(int No)
{
    if (No < 0) {
        GlobalSettings& global = m_engine.settings.global;
        global.GLOBALURL = m_GlobalURL->text();
        global.USEROUTE = m_UseRoute[1]->value() ? 1 : 0;
        global.LOG = checkValue(m_Log_Out_check);
        global.FTPSERVERNAME = m_FTPserverName->text();
        global.FTPUSERID = m_FTPuserID->text();
        global.FTPUSERPASS = m_FTPuserPASS->text();
        global.TASKTRAY = checkValue(m_TASKTRAYcheck);
        global.AUTOEXEC = checkValue(m_AutoExec);
        global.TIMERSET = m_TIMERset->currentText();
    }
    if (No >= 0 && No < SlotTableSize) {
        TransferSlot& slot = m_engine.settings.slot[No];
        slot.OKCHECK = checkValue(m_OKcheck);
        slot.TEMPLATE = m_FTPputFROM->text();
        slot.HOSTNAMEEXEC = checkValue(m_CHIKANcheck0);
        slot.NOWDTTMEXEC = checkValue(m_CHIKANcheck1);
        slot.HOSTNAME = m_CHIKANfrom0->text();
        slot.NOWDTTM = m_CHIKANfrom1->text();
        slot.FTPDIR = m_FTPdir->text();
        slot.FTPFILENAME = m_FTPputTO->text();
        slot.EXEC_TIMING1 = m_EXEC_TIMING1->value();
        slot.EXEC_TIMING2 = m_EXEC_TIMING2->value();
        slot.EXEC_TIMING3 = m_EXEC_TIMING3->value();
    }
}

void MainForm::Put_Memory(int No)
{
    if (No < 0) {
        const GlobalSettings& global = m_engine.settings.global;
        m_GlobalURL->setText(global.GLOBALURL);
        if (global.USEROUTE == 0)
            m_UseRoute[0]->setValue(true);
        if (global.USEROUTE == 1)
            m_UseRoute[1]->setValue(true);
        // The log is on whenever LOG is not 0, so the box shows it that way.
        m_Log_Out_check->setChecked(global.LOG != 0);
        m_FTPserverName->setText(global.FTPSERVERNAME);
        m_FTPuserID->setText(global.FTPUSERID);
        m_FTPuserPASS->setText(global.FTPUSERPASS);
        showCheck(m_TASKTRAYcheck, global.TASKTRAY);
        showCheck(m_AutoExec, global.AUTOEXEC);
        // A period that is not in the list (a hand-edited file) shows as the default period.
        int item = m_TIMERset->findText(global.TIMERSET, Qt::MatchExactly);
        if (item < 0)
            item = m_TIMERset->findText(QStringLiteral("5"), Qt::MatchExactly);
        m_TIMERset->setCurrentIndex(item);
    }
    if (No >= 0 && No < SlotTableSize) {
        const TransferSlot& slot = m_engine.settings.slot[No];
        showCheck(m_OKcheck, slot.OKCHECK);
        m_FTPputFROM->setText(slot.TEMPLATE);
        showCheck(m_CHIKANcheck0, slot.HOSTNAMEEXEC);
        showCheck(m_CHIKANcheck1, slot.NOWDTTMEXEC);
        m_CHIKANfrom0->setText(slot.HOSTNAME);
        m_CHIKANfrom1->setText(slot.NOWDTTM);
        m_FTPdir->setText(slot.FTPDIR);
        m_FTPputTO->setText(slot.FTPFILENAME);
        // One after the other: the last true one stays selected, none when all are false.
        m_EXEC_TIMING1->setValue(slot.EXEC_TIMING1);
        m_EXEC_TIMING2->setValue(slot.EXEC_TIMING2);
        m_EXEC_TIMING3->setValue(slot.EXEC_TIMING3);
        m_FTP_Kekka->setText(slot.ResultText);
        m_FTP_Kekka->setToolTip(slot.ResultToolTip);
    }
}

void MainForm::moveToClientArea(QWidget* page)
{
    page->move(m_TabStrip1->clientLeft() + twipsToPixels(PageLeftTwips),
               m_TabStrip1->clientTop() + twipsToPixels(PageTopTwips));
    page->raise();
}

void MainForm::TabStrip1_Click()
{
    const int k = m_TabStrip1->selectedItem();
    if (k == 1) {
        Set_Memory(m_engine.SelectedTab - 2);
        m_engine.SelectedTab = 1;
        Put_Memory(-1);
        moveToClientArea(m_Frame1);
    } else if (k >= 2 && k <= 10) {
        Set_Memory(m_engine.SelectedTab - 2);
        m_engine.SelectedTab = qint16(k);
        Put_Memory(k - 2);
        moveToClientArea(m_Frame2);
    }
}

void MainForm::Command_SAVE_Click()
{
    Set_Memory(m_engine.SelectedTab - 2);
    // Said in the status line, so that the user knows the file now holds what the window shows.
    const bool saved = Save_ini(m_engine.settings, m_engine.codePage());
    setFTP_now((saved ? QStringLiteral("設定を保存しました (") : QStringLiteral("設定を保存できませんでした ("))
                   .append(Clock::nowText() + QLatin1Char(')')));
}

void MainForm::AutoExec_Click()
{
    m_engine.Timer1.setInterval(m_AutoExec->isChecked() ? 6000 : 0);
}

void MainForm::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    // The window stays until the shutdown has run; that may wait for work in progress.
    const int reason = std::exchange(m_nextCloseReason, int(CloseByUser));
    Form_QueryUnload(reason);
    // When the shutdown ran at once, its own close() came while this one was still under way and was
    // dropped: this close is the one that takes the window away.
    event->setAccepted(m_unloaded);
}

void MainForm::Form_QueryUnload(int UnloadMode)
{
    if (m_closing) {
        // A second request while the first is being carried out is ignored; once the shutdown has run and
        // the process only waits for open editor windows, the desktop's end does not wait for them.
        if (m_unloaded && UnloadMode != CloseByUser && UnloadMode != CloseByProgram)
            QCoreApplication::exit(0);
        return;
    }
    if (UnloadMode == CloseByUser &&
        MessageBox::askYesNo(this, QStringLiteral("確認"), QStringLiteral("常駐終了しますがよろしいですか？")) !=
            QMessageBox::Yes)
        return; // refused: everything stays as it was
    // The question's own event loop handles signals and the session's end: one of those may have closed
    // the program while the user was being asked.
    if (m_closing)
        return;
    m_closing = true;
    m_closeReason = UnloadMode;
    // Nothing of the window goes away while a run is still on the stack: the end waits for it.
    m_resident.end();
}

void MainForm::Form_Unload()
{
    m_engine.Timer1.setInterval(0);
    m_tray.Del_TaskTray();
    Toolkit::yieldOnce();
    m_unloaded = true;
    close();
    exitWhenAlone();
}

void MainForm::exitWhenAlone()
{
    // The editor windows stand in for an editor of its own process, which would outlive the program:
    // ending the process under them would lose unsaved edits. After the user's or the program's own close
    // the process therefore ends when the last of them, and an open about box, has closed; the desktop's
    // end does not wait.
    QList<QObject*> others;
    for (TextEditorWindow* window : TextEditor::openWindows())
        others << window;
    if (Dialog* about = Dialog::current())
        others << about;
    if (others.isEmpty() || (m_closeReason != CloseByUser && m_closeReason != CloseByProgram)) {
        QCoreApplication::exit(0);
        return;
    }
    for (QObject* other : std::as_const(others)) {
        // Checked once the window has gone, not from inside its destructor.
        connect(other, &QObject::destroyed, this, &MainForm::exitWhenAlone,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    }
}

void MainForm::OK_Click()
{
    if (m_closing)
        return; // the end is already under way; its own steps save and remove the icon
    Set_Memory(m_engine.SelectedTab - 2);
    m_tray.Del_TaskTray();
    Save_ini(m_engine.settings, m_engine.codePage());
    m_engine.Timer1.setInterval(0);
    Form_QueryUnload(CloseByProgram);
}

void MainForm::Command2_Click()
{
    m_tray.hideWindow(this);
}

void MainForm::Command3_Click()
{
    openInTextEditor(m_FTPputFROM->text(), m_engine.codePage());
}

void MainForm::Command4_Click()
{
    shellOpen(m_FTPputFROM->text());
}

void MainForm::Command5_Click()
{
    // The program's own files are named relative to the current directory; browsing must not move it.
    const QString current = QDir::currentPath();
    const QString chosen = FileDialog::getOpenFileName(this, QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙの選択"),
                                                       QStringLiteral("HTMLファイル|*.html;*.htm|全てのファイル|*.*"));
    if (!chosen.isEmpty())
        m_FTPputFROM->setText(chosen);
    QDir::setCurrent(current);
}

void MainForm::Command6_Click()
{
    openInTextEditor(QString::fromLatin1(FileNames::Log), m_engine.codePage());
}

void MainForm::Image1_Click()
{
    Dialog::showDialog();
}

void MainForm::Command7_Click()
{
    m_Ipv6Form->showSettings(m_engine.settings);
    m_Ipv6Form->show();
    m_Ipv6Form->raise();
    m_Ipv6Form->activateWindow();
}
