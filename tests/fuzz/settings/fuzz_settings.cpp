// Arbitrary bytes as a settings file: what a load takes in, a save writes out so that the next load gives the
// same settings, and saving those again gives the same file.
#include "fuzz_check.h"
#include "settings/ini_file.h"

#include <QStringList>

namespace {

// Every stored field of the shared settings and slots 0 to 8 as "KEY[slot]=value"; texts pass through
// `textAs` first.
template <typename TextAs> QStringList storedFields(const SettingsModel& model, TextAs textAs)
{
    const auto number = [](qint16 value) { return QString::number(value); };
    const auto boolean = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    const GlobalSettings& g = model.global;
    QStringList fields{
        QStringLiteral("GLOBALURL=") + textAs(g.GLOBALURL),
        QStringLiteral("USEROUTE=") + number(g.USEROUTE),
        QStringLiteral("FTPSERVERNAME=") + textAs(g.FTPSERVERNAME),
        QStringLiteral("FTPUSERID=") + textAs(g.FTPUSERID),
        QStringLiteral("FTPUSERPASS=") + textAs(g.FTPUSERPASS),
        QStringLiteral("TASKTRAY=") + number(g.TASKTRAY),
        QStringLiteral("AUTOEXEC=") + number(g.AUTOEXEC),
        QStringLiteral("TIMERSET=") + textAs(g.TIMERSET),
        QStringLiteral("LOG=") + number(g.LOG),
    };
    for (int i = 0; i < SlotCount; ++i) {
        const TransferSlot& s = model.slot[i];
        const QString at = QStringLiteral("[%1]=").arg(i);
        fields << QStringLiteral("OKCHECK") + at + number(s.OKCHECK)
               << QStringLiteral("TEMPLATE") + at + textAs(s.TEMPLATE)
               << QStringLiteral("HOSTNAME") + at + textAs(s.HOSTNAME)
               << QStringLiteral("NOWDTTM") + at + textAs(s.NOWDTTM)
               << QStringLiteral("HOSTNAMEEXEC") + at + number(s.HOSTNAMEEXEC)
               << QStringLiteral("NOWDTTMEXEC") + at + number(s.NOWDTTMEXEC)
               << QStringLiteral("FTPDIR") + at + textAs(s.FTPDIR)
               << QStringLiteral("FTPFILENAME") + at + textAs(s.FTPFILENAME)
               << QStringLiteral("EXEC_TIMING1") + at + boolean(s.EXEC_TIMING1)
               << QStringLiteral("EXEC_TIMING2") + at + boolean(s.EXEC_TIMING2)
               << QStringLiteral("EXEC_TIMING3") + at + boolean(s.EXEC_TIMING3);
    }
    return fields;
}

QString firstDifference(const QStringList& expected, const QStringList& actual)
{
    for (qsizetype i = 0; i < expected.size() && i < actual.size(); ++i) {
        if (expected[i] != actual[i])
            return QStringLiteral("expected %1\nactual   %2").arg(expected[i], actual[i]);
    }
    return QStringLiteral("field count %1 against %2").arg(expected.size()).arg(actual.size());
}

SettingsModel loaded(QByteArrayView bytes, const CodePage& page, IniReadEnd* end = nullptr)
{
    SettingsModel model;
    model.applyDefaults();
    const IniReadEnd result = readIni(bytes, model, page);
    if (end)
        *end = result;
    return model;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const CodePage page(fuzzCodePage(data[0]));
    const QByteArrayView file(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    const SettingsModel first = loaded(file, page);
    const QByteArray saved = formatIni(first, page);
    IniReadEnd end = IniReadEnd::Fault;
    const SettingsModel second = loaded(saved, page, &end);
    FUZZ_CHECK(end == IniReadEnd::Complete, QStringLiteral("input %1\nsaved %2").arg(fuzzShow(file), fuzzShow(saved)));

    // A text the code page cannot hold (undecodable bytes became U+FFFD) is saved as the code page writes it;
    // every other text must come back as loaded.
    const auto asSaved = [&page](const QString& text) { return page.decode(page.encode(text)); };
    const auto asIs = [](const QString& text) { return text; };
    const QStringList expected = storedFields(first, asSaved);
    const QStringList actual = storedFields(second, asIs);
    FUZZ_CHECK(expected == actual,
               QStringLiteral("%1\ninput %2").arg(firstDifference(expected, actual), fuzzShow(file)));

    const QByteArray savedAgain = formatIni(second, page);
    FUZZ_CHECK(
        savedAgain == saved,
        QStringLiteral("input %1\nfirst  %2\nsecond %3").arg(fuzzShow(file), fuzzShow(saved), fuzzShow(savedAgain)));
    return 0;
}
