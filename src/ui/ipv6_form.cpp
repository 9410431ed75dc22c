#include "ui/ipv6_form.h"

#include "ui/form_controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

using namespace FormControls;

namespace {

constexpr int WidthTwips = 6705;
constexpr int HeightTwips = 6780;
constexpr int RowTop = 750; // the first slot's row in the marker frame
constexpr int RowStep = 330;

} // namespace

Ipv6Form::Ipv6Form(QWidget* parent) : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("Ipv6Form"));
    setWindowTitle(QStringLiteral(" IPv6 設定"));
    setWindowModality(Qt::WindowModal);
    setFont(baseFont());
    setFixedSize(twipsToPixels(WidthTwips), twipsToPixels(HeightTwips));

    auto* lookup =
        frame(this, QStringLiteral("Frame7"), QStringLiteral("IPv6アドレス確認"), twipsRect(105, 105, 6495, 2100));
    m_UseIPv6 = checkBox(lookup, QStringLiteral("UseIPv6"), QStringLiteral("IPv6アドレスも確認する"),
                         twipsRect(210, 315, 3150, 225),
                         QStringLiteral("IPv6のｱﾄﾞﾚｽも確認します。IPv4のｴｺｰﾍﾟｰｼﾞはIPv4だけで確認します"), false);
    m_IPv6Route[0] =
        optionButton(lookup, QStringLiteral("IPv6Route(0)"), QStringLiteral("ｴｺｰﾍﾟｰｼﾞで確認"),
                     twipsRect(420, 690, 1785, 225), QStringLiteral("このｻｲﾄにIPv6だけで接続して確認します"), true);
    m_GlobalURL6 =
        textBox(lookup, QStringLiteral("GlobalURL6"), QString::fromLatin1(DefaultGlobalUrl6),
                twipsRect(2310, 630, 3990, 330), QStringLiteral("自宅ｻｰﾊﾞのIPv6ｱﾄﾞﾚｽを、このｻｲﾄで確認します"));
    m_IPv6Route[1] = optionButton(lookup, QStringLiteral("IPv6Route(1)"),
                                  QStringLiteral("このｺﾝﾋﾟｭｰﾀのｱﾄﾞﾚｽを使用（一時ｱﾄﾞﾚｽは使いません）"),
                                  twipsRect(420, 1110, 5880, 225),
                                  QStringLiteral("自宅ｻｰﾊﾞがIPv6で直接つながっている場合はこちらを選択します"), false);
    OptionButton::makeGroup({m_IPv6Route[0], m_IPv6Route[1]});
    label(lookup, QStringLiteral("Label9"), QStringLiteral("現在のIPv6アドレス >>"), twipsRect(315, 1575, 1785, 225));
    m_IP_address6 =
        displayLabel(lookup, QStringLiteral("IP_address6"), QStringLiteral("未取得"), twipsRect(2100, 1575, 4200, 225));

    auto* markers = frame(this, QStringLiteral("Frame8"), QStringLiteral("置換文字列 (IPv6アドレス)"),
                          twipsRect(105, 2310, 6495, 3885),
                          QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列を自宅ｻｰﾊﾞのIPv6ｱﾄﾞﾚｽに置換します"));
    label(markers, QStringLiteral("Label10"), QStringLiteral("置換後の文字列"), twipsRect(315, 375, 1680, 225));
    m_CHIKANto2 =
        textBox(markers, QStringLiteral("CHIKANto2"), QStringLiteral("HOSTNAME6"), twipsRect(2100, 315, 4200, 330));
    m_CHIKANto2->setEnabled(false);
    for (int s = 0; s < SlotCount; ++s) {
        const int top = RowTop + s * RowStep;
        label(markers, QStringLiteral("Label11(%1)").arg(s), QStringLiteral("[設定%1]").arg(s + 1),
              twipsRect(315, top + 60, 900, 225));
        m_CHIKANcheck2[s] =
            checkBox(markers, QStringLiteral("CHIKANcheck2(%1)").arg(s), QStringLiteral("IPv6アドレス"),
                     twipsRect(1260, top + 60, 1365, 225),
                     QStringLiteral("ﾁｪｯｸすると置換します。IPv6ｱﾄﾞﾚｽが未取得の間は転送しません"), false);
        m_CHIKANfrom2[s] = textBox(markers, QStringLiteral("CHIKANfrom2(%1)").arg(s), QStringLiteral("HOSTNAME6"),
                                   twipsRect(2730, top, 1890, 300),
                                   QStringLiteral("ﾃﾝﾌﾟﾚｰﾄﾌｧｲﾙ中のこの文字列をIPv6ｱﾄﾞﾚｽに置換します"));
    }

    m_OK = button(this, QStringLiteral("Ipv6OK"), QStringLiteral("OK"), twipsRect(4095, 6315, 1170, 330),
                  QStringLiteral("この設定を使います。設定保存で設定ファイルに保存します"));
    m_Cancel = button(this, QStringLiteral("Ipv6Cancel"), QStringLiteral("ｷｬﾝｾﾙ"), twipsRect(5430, 6315, 1170, 330),
                      QStringLiteral("変更を捨てて閉じます"));
    m_OK->setDefault(true);

    connect(m_UseIPv6, &QCheckBox::toggled, this, &Ipv6Form::updateEnabled);
    connect(m_IPv6Route[0], &QAbstractButton::toggled, this, &Ipv6Form::updateEnabled);
    connect(m_OK, &QPushButton::clicked, this, [this] {
        emit accepted();
        hide();
    });
    connect(m_Cancel, &QPushButton::clicked, this, &QWidget::hide);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_Cancel, &QPushButton::animateClick);
    updateEnabled();
}

void Ipv6Form::showSettings(const SettingsModel& settings)
{
    const GlobalSettings& global = settings.global;
    m_UseIPv6->setChecked(global.USEIPV6 == Ipv6EchoPage || global.USEIPV6 == Ipv6Interface);
    m_IPv6Route[global.USEIPV6 == Ipv6Interface ? 1 : 0]->setValue(true);
    m_GlobalURL6->setText(global.GLOBALURL6);
    m_GlobalURL6->setCursorPosition(0); // the page's name, not the end of a long query
    for (int s = 0; s < SlotCount; ++s) {
        showCheck(m_CHIKANcheck2[s], settings.slot[s].HOSTNAME6EXEC);
        m_CHIKANfrom2[s]->setText(settings.slot[s].HOSTNAME6);
    }
    updateEnabled();
}

void Ipv6Form::commitSettings(SettingsModel& settings) const
{
    GlobalSettings& global = settings.global;
    if (!m_UseIPv6->isChecked())
        global.USEIPV6 = Ipv6Off;
    else
        global.USEIPV6 = m_IPv6Route[1]->value() ? Ipv6Interface : Ipv6EchoPage;
    global.GLOBALURL6 = m_GlobalURL6->text();
    for (int s = 0; s < SlotCount; ++s) {
        settings.slot[s].HOSTNAME6EXEC = checkValue(m_CHIKANcheck2[s]);
        settings.slot[s].HOSTNAME6 = m_CHIKANfrom2[s]->text();
    }
}

void Ipv6Form::updateEnabled()
{
    const bool on = m_UseIPv6->isChecked();
    m_IPv6Route[0]->setEnabled(on);
    m_IPv6Route[1]->setEnabled(on);
    m_GlobalURL6->setEnabled(on && m_IPv6Route[0]->value());
}
