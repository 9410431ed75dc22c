#include "settings/setting_text.h"

#include <variant>

namespace {

enum class Kind { Text, Password, Check, Route, Ipv6Way, Period, Trigger };

template <typename Record> struct Setting
{
    const char* key;
    Kind kind;
    std::variant<QString Record::*, qint16 Record::*, bool Record::*> field;
};

// In the order the settings file holds them.
const Setting<GlobalSettings> SharedSettings[] = {
    {"GLOBALURL", Kind::Text, &GlobalSettings::GLOBALURL},
    {"USEROUTE", Kind::Route, &GlobalSettings::USEROUTE},
    {"FTPSERVERNAME", Kind::Text, &GlobalSettings::FTPSERVERNAME},
    {"FTPUSERID", Kind::Text, &GlobalSettings::FTPUSERID},
    {"FTPUSERPASS", Kind::Password, &GlobalSettings::FTPUSERPASS},
    {"TASKTRAY", Kind::Check, &GlobalSettings::TASKTRAY},
    {"AUTOEXEC", Kind::Check, &GlobalSettings::AUTOEXEC},
    {"TIMERSET", Kind::Period, &GlobalSettings::TIMERSET},
    {"LOG", Kind::Check, &GlobalSettings::LOG},
    {"USEIPV6", Kind::Ipv6Way, &GlobalSettings::USEIPV6},
    {"GLOBALURL6", Kind::Text, &GlobalSettings::GLOBALURL6},
};

const Setting<TransferSlot> SlotSettings[] = {
    {"OKCHECK", Kind::Check, &TransferSlot::OKCHECK},
    {"TEMPLATE", Kind::Text, &TransferSlot::TEMPLATE},
    {"HOSTNAME", Kind::Text, &TransferSlot::HOSTNAME},
    {"NOWDTTM", Kind::Text, &TransferSlot::NOWDTTM},
    {"HOSTNAMEEXEC", Kind::Check, &TransferSlot::HOSTNAMEEXEC},
    {"NOWDTTMEXEC", Kind::Check, &TransferSlot::NOWDTTMEXEC},
    {"FTPDIR", Kind::Text, &TransferSlot::FTPDIR},
    {"FTPFILENAME", Kind::Text, &TransferSlot::FTPFILENAME},
    {"EXEC_TIMING1", Kind::Trigger, &TransferSlot::EXEC_TIMING1},
    {"EXEC_TIMING2", Kind::Trigger, &TransferSlot::EXEC_TIMING2},
    {"EXEC_TIMING3", Kind::Trigger, &TransferSlot::EXEC_TIMING3},
    {"HOSTNAME6", Kind::Text, &TransferSlot::HOSTNAME6},
    {"HOSTNAME6EXEC", Kind::Check, &TransferSlot::HOSTNAME6EXEC},
};

template <typename Record> QString shown(const Setting<Record>& setting, const Record& record)
{
    if (const auto* text = std::get_if<QString Record::*>(&setting.field)) {
        const QString& value = record.**text;
        return setting.kind == Kind::Password && !value.isEmpty() ? QStringLiteral("********") : value;
    }
    if (const auto* number = std::get_if<qint16 Record::*>(&setting.field))
        return QString::number(record.**number);
    return record.*std::get<bool Record::*>(setting.field) ? QStringLiteral("true") : QStringLiteral("false");
}

// The value as its kind takes it from the window's controls; the reason when the window could not hold it.
template <typename Record>
std::optional<QString> take(Record& record, const Setting<Record>& setting, const QString& value, TransferSlot* slot)
{
    const QString key = QLatin1String(setting.key);
    switch (setting.kind) {
    case Kind::Password:
        return QStringLiteral("パスワードは veltora --set-password で設定してください (コマンドラインの値は他のユーザや"
                              "シェルの履歴から見えます)");
    case Kind::Text:
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
            return key + QStringLiteral(" の値に改行は使えません");
        record.*std::get<QString Record::*>(setting.field) = value;
        return std::nullopt;
    case Kind::Check:
    case Kind::Route:
        if (value != u"0" && value != u"1")
            return key + QStringLiteral(" の値は 0 か 1 です: ") + value;
        record.*std::get<qint16 Record::*>(setting.field) = qint16(value.toShort());
        return std::nullopt;
    case Kind::Ipv6Way:
        if (value != u"0" && value != u"1" && value != u"2")
            return key +
                   QStringLiteral(" の値は 0 (確認しない)、1 (エコーページ)、2 (インターフェース) のどれかです: ") +
                   value;
        record.*std::get<qint16 Record::*>(setting.field) = qint16(value.toShort());
        return std::nullopt;
    case Kind::Period: {
        bool number = false;
        value.toInt(&number);
        const QString choices = timerSetTexts().join(QStringLiteral(", "));
        if (!number)
            return key + QStringLiteral(" (周期) は分の数です: ") + value + QStringLiteral(" (選べる値: ") + choices +
                   QLatin1Char(')');
        if (!timerSetTexts().contains(value))
            return key + QStringLiteral(" (周期) は次のどれかです: ") + choices;
        record.*std::get<QString Record::*>(setting.field) = value;
        return std::nullopt;
    }
    case Kind::Trigger:
        // The three form one group of option buttons: choosing one clears the others, and none is unchosen.
        if (value != u"true" && value != u"1")
            return key + QStringLiteral(" は EXEC_TIMING1～3 から一つを選ぶものです。選ぶほうに true を指定してください");
        slot->EXEC_TIMING1 = slot->EXEC_TIMING2 = slot->EXEC_TIMING3 = false;
        record.*std::get<bool Record::*>(setting.field) = true;
        return std::nullopt;
    }
    return key + QStringLiteral(" を設定できません");
}

} // namespace

QStringList listSettings(const SettingsModel& settings)
{
    QStringList lines;
    for (const auto& setting : SharedSettings)
        lines << QLatin1String(setting.key) + QStringLiteral(" = ") + shown(setting, settings.global);
    for (int s = 0; s < SlotCount; ++s) {
        for (const auto& setting : SlotSettings)
            lines << QStringLiteral("%1,%2 = ").arg(QLatin1String(setting.key)).arg(s) + shown(setting, settings.slot[s]);
    }
    return lines;
}

std::optional<QString> applySetting(SettingsModel& settings, const QString& assignment)
{
    const qsizetype equals = assignment.indexOf(QLatin1Char('='));
    if (equals < 0)
        return QStringLiteral("KEY=VALUE または KEY,N=VALUE の形で指定してください: ") + assignment;
    const QString name = assignment.left(equals).trimmed();
    const QString value = assignment.mid(equals + 1);
    const QString key = name.section(QLatin1Char(','), 0, 0).trimmed();
    const bool numbered = name.contains(QLatin1Char(','));

    for (const auto& setting : SharedSettings) {
        if (key != QLatin1String(setting.key))
            continue;
        if (numbered)
            return key + QStringLiteral(" は共通の設定なので番号をつけません");
        return take(settings.global, setting, value, nullptr);
    }
    for (const auto& setting : SlotSettings) {
        if (key != QLatin1String(setting.key))
            continue;
        bool isNumber = false;
        const int slot = name.section(QLatin1Char(','), 1).trimmed().toInt(&isNumber);
        if (!numbered || !isNumber || slot < 0 || slot >= SlotCount)
            return key + QStringLiteral(" には設定の番号 0～8 をつけてください (設定1 が 0): ") + key +
                   QStringLiteral(",0=…");
        TransferSlot changed = settings.slot[slot];
        if (auto refused = take(changed, setting, value, &changed))
            return refused;
        settings.slot[slot] = changed;
        return std::nullopt;
    }
    return QStringLiteral("そのような設定はありません: ") + key + QStringLiteral(" (veltora --settings で一覧を表示します)");
}
