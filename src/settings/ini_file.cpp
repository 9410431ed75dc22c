#include "settings/ini_file.h"

#include "platform/regular_file.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <charconv>
#include <cmath>
#include <optional>
#include <span>
#include <variant>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// One field of the file: records are three of them in a row, wherever the lines break.
struct Field
{
    enum class Kind { Empty, Text, Number, Boolean, Null };
    Kind kind = Kind::Empty;
    QString text;
    double number = 0;
    bool boolean = false;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Blanks that may stand before a field. A line feed is no blank there: it ends a line.
bool isFieldBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    return value < base ? value : -1;
}

// Reads the decimal number at the start of text: optional sign, digits, optional point and digits, optional
// exponent. Returns the length taken (0 when no number stands there) and the value.
qsizetype scanDecimal(QByteArrayView text, double& value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    qsizetype end = i;
    bool negativeExponent = false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            end = j;
        }
    }
    // from_chars knows no leading plus sign and, unlike strtod, ignores the process locale.
    QByteArrayView number = text.first(end);
    const bool negative = number.startsWith('-');
    if (number.startsWith('+') || negative)
        number = number.sliced(1);
    double parsed = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), parsed);
    if (result.ec == std::errc::result_out_of_range)
        parsed = negativeExponent ? 0.0 : HUGE_VAL;
    value = negative ? -parsed : parsed;
    return end;
}

// Reads "&H" + hexadecimal or "&O" + octal digits at the start of text; 0 when none stand there.
qsizetype scanRadix(QByteArrayView text, double& value)
{
    if (text.size() < 3 || text[0] != '&')
        return 0;
    int base = 0;
    if (text[1] == 'H' || text[1] == 'h')
        base = 16;
    else if (text[1] == 'O' || text[1] == 'o')
        base = 8;
    else
        return 0;
    qsizetype i = 2;
    double result = 0;
    while (i < text.size() && digitValue(text[i], base) >= 0)
        result = result * base + digitValue(text[i++], base);
    if (i == 2)
        return 0;
    value = result;
    return i;
}

// The whole text reads as a number (blanks around it allowed).
std::optional<double> wholeNumber(QByteArrayView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    double value = 0;
    qsizetype taken = text.startsWith('&') ? scanRadix(text, value) : scanDecimal(text, value);
    if (taken != text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QByteArray numberScanText(const QString& text)
{
    // Only ASCII takes part in a number; anything else becomes '?', which stops the scan.
    return text.toLatin1();
}

// The leading number of a text: blanks, tabs and line feeds dropped throughout, then the longest prefix that
// reads as a decimal number, or an &H/&O integer; 0 when there is none.
double leadingNumber(const QString& text)
{
    QByteArray squeezed = numberScanText(text);
    squeezed.removeIf([](char c) { return isBlank(c); });
    double value = 0;
    if (squeezed.startsWith('&'))
        scanRadix(squeezed, value);
    else
        scanDecimal(squeezed, value);
    return value;
}

double roundHalfEven(double x)
{
    double whole = std::floor(x);
    const double fraction = x - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return whole;
}

std::optional<qint16> toInteger(double x, int lowest = -32768, int highest = 32767)
{
    if (!std::isfinite(x))
        return std::nullopt;
    const double rounded = roundHalfEven(x);
    if (rounded < lowest || rounded > highest)
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

// The shortest decimal text of a number, as the old files hold it: 5, 1.5, 1E+20.
QString formatNumber(double x)
{
    if (x == 0)
        return QStringLiteral("0");
    if (x == std::trunc(x) && std::fabs(x) < 1e15)
        return QString::number(static_cast<qint64>(x));
    return QString::number(x, 'g', 15).toUpper();
}

std::optional<QString> valueAsText(const Field& field)
{
    switch (field.kind) {
    case Field::Kind::Empty:
        return QString();
    case Field::Kind::Text:
        return field.text;
    case Field::Kind::Number:
        return formatNumber(field.number);
    case Field::Kind::Boolean:
        return field.boolean ? QStringLiteral("True") : QStringLiteral("False");
    case Field::Kind::Null:
        break;
    }
    return std::nullopt;
}

std::optional<bool> valueAsBoolean(const Field& field)
{
    switch (field.kind) {
    case Field::Kind::Empty:
        return false;
    case Field::Kind::Boolean:
        return field.boolean;
    case Field::Kind::Number:
        return field.number != 0;
    case Field::Kind::Text:
        if (field.text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (field.text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
        break;
    case Field::Kind::Null:
        break;
    }
    return std::nullopt;
}

// The slot a record addresses: 0 to 10; an empty index is 0.
std::optional<int> slotIndex(const Field& field)
{
    switch (field.kind) {
    case Field::Kind::Empty:
        return 0;
    case Field::Kind::Number:
        return toInteger(field.number, 0, SlotTableSize - 1);
    case Field::Kind::Text:
        if (const auto number = wholeNumber(numberScanText(field.text)))
            return toInteger(*number, 0, SlotTableSize - 1);
        break;
    case Field::Kind::Boolean:
        return toInteger(field.boolean ? -1 : 0, 0, SlotTableSize - 1);
    case Field::Kind::Null:
        break;
    }
    return std::nullopt;
}

class FieldReader
{
public:
    FieldReader(QByteArrayView bytes, const CodePage& codePage) : m_bytes(bytes), m_codePage(codePage) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    qsizetype position() const { return m_pos; }
    // The last field ran into the end of the bytes inside its quotes.
    bool quoteLeftOpen() const { return m_quoteLeftOpen; }

    // Before a record: empty lines and blanks are no fields (an editor leaves an empty last line).
    void skipEmptyLines()
    {
        while (m_pos < m_bytes.size() && (isFieldBlank(m_bytes[m_pos]) || isLineEnd(m_bytes[m_pos])))
            ++m_pos;
        m_atLineStart = true;
    }

    // After a faulty record: its line is given up, reading goes on with the next one.
    void skipRestOfLine()
    {
        if (m_atLineStart)
            return;
        while (m_pos < m_bytes.size() && !isLineEnd(m_bytes[m_pos]))
            ++m_pos;
        skipSeparator();
    }

    // The next field; nothing when the bytes end before one (or inside a quoted text).
    std::optional<Field> next()
    {
        while (m_pos < m_bytes.size() && isFieldBlank(m_bytes[m_pos]))
            ++m_pos;
        if (m_pos >= m_bytes.size())
            return std::nullopt;
        return m_bytes[m_pos] == '"' ? quoted() : unquoted();
    }

private:
    std::optional<Field> quoted()
    {
        ++m_pos;
        QByteArray raw;
        bool closed = false;
        while (m_pos < m_bytes.size()) {
            const qsizetype quote = m_bytes.sliced(m_pos).indexOf('"');
            if (quote < 0)
                break;
            raw += m_bytes.sliced(m_pos, quote);
            m_pos += quote + 1;
            // Our writer doubles a quote inside a text; the previous version wrote it bare, so its value that
            // ends in a quote stands as "pw"" and must end there, not run on into the next records. A doubled
            // quote is one quote of the text only when the field still closes later on the same line.
            if (m_pos < m_bytes.size() && m_bytes[m_pos] == '"' && closesOnThisLine(m_pos + 1)) {
                raw += '"';
                ++m_pos;
                continue;
            }
            closed = true;
            break;
        }
        if (!closed) {
            m_pos = m_bytes.size();
            m_quoteLeftOpen = true;
            return std::nullopt;
        }
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != ',' && !isLineEnd(m_bytes[m_pos]))
            ++m_pos;
        skipSeparator();
        Field field;
        field.kind = Field::Kind::Text;
        field.text = m_codePage.decode(raw);
        return field;
    }

    std::optional<Field> unquoted()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != ',' && !isLineEnd(m_bytes[m_pos]))
            ++m_pos;
        QByteArrayView raw = m_bytes.sliced(start, m_pos - start);
        while (!raw.isEmpty() && isBlank(raw.back()))
            raw.chop(1);
        skipSeparator();

        Field field;
        if (raw.isEmpty()) {
            field.kind = Field::Kind::Empty;
        } else if (raw == "#TRUE#" || raw == "#FALSE#") {
            field.kind = Field::Kind::Boolean;
            field.boolean = raw == "#TRUE#";
        } else if (raw == "#NULL#") {
            field.kind = Field::Kind::Null;
        } else if (const auto number = wholeNumber(raw)) {
            field.kind = Field::Kind::Number;
            field.number = *number;
        } else {
            field.kind = Field::Kind::Text;
            field.text = m_codePage.decode(raw);
        }
        return field;
    }

    // A quote stands at or after from, before a CR. A lone line feed inside quotes is text (a value that
    // holds one is written that way), so it does not end the look-ahead.
    bool closesOnThisLine(qsizetype from) const
    {
        for (qsizetype i = from; i < m_bytes.size() && m_bytes[i] != '\r'; ++i) {
            if (m_bytes[i] == '"')
                return true;
        }
        return false;
    }

    // A comma, or a line end: CR LF, or a CR or LF alone (files written on Linux end lines with LF).
    void skipSeparator()
    {
        m_atLineStart = false;
        if (m_pos >= m_bytes.size())
            return;
        const char c = m_bytes[m_pos++];
        if (c == '\r' && m_pos < m_bytes.size() && m_bytes[m_pos] == '\n')
            ++m_pos;
        m_atLineStart = c != ',';
    }

    QByteArrayView m_bytes;
    const CodePage& m_codePage;
    qsizetype m_pos = 0;
    bool m_atLineStart = true;
    bool m_quoteLeftOpen = false;
};

enum class Conversion { Text, Integer, TimerSet, Boolean };

template <typename Record> struct Key
{
    const char* name;
    Conversion conversion;
    std::variant<QString Record::*, qint16 Record::*, bool Record::*> field;
};

// Both tables are in the order the records are written.
const Key<GlobalSettings> SharedKeys[] = {
    {"GLOBALURL", Conversion::Text, &GlobalSettings::GLOBALURL},
    {"USEROUTE", Conversion::Integer, &GlobalSettings::USEROUTE},
    {"FTPSERVERNAME", Conversion::Text, &GlobalSettings::FTPSERVERNAME},
    {"FTPUSERID", Conversion::Text, &GlobalSettings::FTPUSERID},
    {"FTPUSERPASS", Conversion::Text, &GlobalSettings::FTPUSERPASS},
    {"TASKTRAY", Conversion::Integer, &GlobalSettings::TASKTRAY},
    {"AUTOEXEC", Conversion::Integer, &GlobalSettings::AUTOEXEC},
    {"TIMERSET", Conversion::TimerSet, &GlobalSettings::TIMERSET},
    {"LOG", Conversion::Integer, &GlobalSettings::LOG},
    {"USEIPV6", Conversion::Integer, &GlobalSettings::USEIPV6},
    {"GLOBALURL6", Conversion::Text, &GlobalSettings::GLOBALURL6},
};
// The IPv6 records: the last ones of each table, written after all the others.
constexpr std::size_t SharedIpv6Keys = 2;
constexpr std::size_t SlotIpv6Keys = 2;

const Key<TransferSlot> SlotKeys[] = {
    {"OKCHECK", Conversion::Integer, &TransferSlot::OKCHECK},
    {"TEMPLATE", Conversion::Text, &TransferSlot::TEMPLATE},
    {"HOSTNAME", Conversion::Text, &TransferSlot::HOSTNAME},
    {"NOWDTTM", Conversion::Text, &TransferSlot::NOWDTTM},
    {"HOSTNAMEEXEC", Conversion::Integer, &TransferSlot::HOSTNAMEEXEC},
    {"NOWDTTMEXEC", Conversion::Integer, &TransferSlot::NOWDTTMEXEC},
    {"FTPDIR", Conversion::Text, &TransferSlot::FTPDIR},
    {"FTPFILENAME", Conversion::Text, &TransferSlot::FTPFILENAME},
    {"EXEC_TIMING1", Conversion::Boolean, &TransferSlot::EXEC_TIMING1},
    {"EXEC_TIMING2", Conversion::Boolean, &TransferSlot::EXEC_TIMING2},
    {"EXEC_TIMING3", Conversion::Boolean, &TransferSlot::EXEC_TIMING3},
    {"HOSTNAME6", Conversion::Text, &TransferSlot::HOSTNAME6},
    {"HOSTNAME6EXEC", Conversion::Integer, &TransferSlot::HOSTNAME6EXEC},
};

template <typename Record, std::size_t N> const Key<Record>* findKey(const Key<Record> (&keys)[N], const QString& name)
{
    for (const Key<Record>& key : keys) {
        if (name == QLatin1String(key.name))
            return &key;
    }
    return nullptr;
}

// Converts the value as its key says and stores it; nothing stored and the reason given when the value is a
// fault.
template <typename Record> std::optional<QString> applyValue(Record& record, const Key<Record>& key, const Field& value)
{
    if (value.kind == Field::Kind::Null)
        return QStringLiteral("値が #NULL# です");
    if (key.conversion == Conversion::Boolean) {
        const auto boolean = valueAsBoolean(value);
        if (!boolean)
            return QStringLiteral("値が #TRUE#、#FALSE#、True、False、数のどれでもありません");
        record.*std::get<bool Record::*>(key.field) = *boolean;
        return std::nullopt;
    }
    const QString text = valueAsText(value).value_or(QString());
    switch (key.conversion) {
    case Conversion::Text:
        record.*std::get<QString Record::*>(key.field) = text;
        return std::nullopt;
    case Conversion::TimerSet: {
        const double number = leadingNumber(text);
        if (!std::isfinite(number))
            return QStringLiteral("値が大きすぎます");
        record.*std::get<QString Record::*>(key.field) = formatNumber(number);
        return std::nullopt;
    }
    case Conversion::Integer: {
        const auto integer = toInteger(leadingNumber(text));
        if (!integer)
            return QStringLiteral("値が -32768 から 32767 の整数になりません");
        record.*std::get<qint16 Record::*>(key.field) = *integer;
        return std::nullopt;
    }
    case Conversion::Boolean:
        break;
    }
    return QStringLiteral("値を読めません");
}

// The line (from 1) that the byte at offset stands on: CR LF, a CR alone and a LF alone each end a line, as an
// editor shows them.
int lineAt(QByteArrayView bytes, qsizetype offset)
{
    int line = 1;
    for (qsizetype i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
            ++line;
    }
    return line;
}

template <typename Record>
void appendRecord(QByteArray& out, const Key<Record>& key, int index, const Record& record, const CodePage& codePage)
{
    out += '"';
    out += key.name;
    out += "\",";
    out += QByteArray::number(index);
    out += ',';
    if (const auto* text = std::get_if<QString Record::*>(&key.field)) {
        QString value = record.**text;
        // Doubling keeps a quote inside the text from ending the field when it is read back.
        value.replace(QLatin1Char('"'), QLatin1String("\"\""));
        out += '"';
        out += codePage.encode(value);
        out += '"';
    } else if (const auto* integer = std::get_if<qint16 Record::*>(&key.field)) {
        out += QByteArray::number(record.**integer);
    } else {
        out += record.*std::get<bool Record::*>(key.field) ? "#TRUE#" : "#FALSE#";
    }
    out += "\r\n";
}

// A save written in place that failed may have cut the file: its old bytes go back where they differ now.
void putBack(const QString& name, const QByteArray& old)
{
    QFile current(name);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == old && current.error() == QFileDevice::NoError)
        return;
    current.close();
    QFile file;
    QString why;
    if (!RegularFile::openForWriting(file, name, RegularFile::Write::Empty, &why) || file.write(old) != old.size() ||
        !file.flush())
        qWarning().noquote()
            << QStringLiteral("veltora: %1 を元に戻せません: %2").arg(name, why.isEmpty() ? file.errorString() : why);
}

} // namespace

int File_Ok(const QString& filename)
{
    // Only a plain file counts: opening a FIFO for reading would block the window until a writer came.
    if (!QFileInfo(filename).isFile())
        return 1;
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    file.close();
    return 0;
}

QByteArray formatIni(const SettingsModel& settings, const CodePage& codePage)
{
    // A folder that does not use IPv6 keeps its file byte for byte as it was before IPv6 was known.
    const std::span<const Key<GlobalSettings>> shared(SharedKeys);
    const std::span<const Key<TransferSlot>> slotKeys(SlotKeys);
    QByteArray out;
    for (const auto& key : shared.first(shared.size() - SharedIpv6Keys))
        appendRecord(out, key, 0, settings.global, codePage);
    for (int index = 0; index < SlotCount; ++index) {
        for (const auto& key : slotKeys.first(slotKeys.size() - SlotIpv6Keys))
            appendRecord(out, key, index, settings.slot[index], codePage);
    }
    if (!settings.usesIpv6Records())
        return out;
    for (const auto& key : shared.last(SharedIpv6Keys))
        appendRecord(out, key, 0, settings.global, codePage);
    for (int index = 0; index < SlotCount; ++index) {
        for (const auto& key : slotKeys.last(SlotIpv6Keys))
            appendRecord(out, key, index, settings.slot[index], codePage);
    }
    return out;
}

IniReadEnd readIni(QByteArrayView bytes, SettingsModel& settings, const CodePage& codePage, QList<IniFault>* faults)
{
    // A byte-order mark that an editor put in front of the file is no part of the first key. Anywhere else a
    // U+FEFF is a character of its text and stays.
    bytes = CodePage::withoutByteOrderMark(bytes);
    FieldReader reader(bytes, codePage);
    IniReadEnd end = IniReadEnd::Complete;
    // A faulty record is reported with its line and has no effect; its line is given up and the records on
    // the lines after it are read as usual, so one mistake does not drop the rest of the file.
    const auto fault = [&](qsizetype where, const QString& reason) {
        end = IniReadEnd::Fault;
        if (faults)
            faults->append(IniFault{lineAt(bytes, where), reason});
        reader.skipRestOfLine();
    };
    for (reader.skipEmptyLines(); !reader.atEnd(); reader.skipEmptyLines()) {
        const qsizetype start = reader.position();
        const auto key = reader.next();
        const auto index = key ? reader.next() : std::nullopt;
        const auto value = index ? reader.next() : std::nullopt;
        if (!value) {
            fault(start, reader.quoteLeftOpen() ? QStringLiteral("引用符 \" が閉じられていません")
                                                : QStringLiteral("キー、番号、値の三つがそろっていません"));
            continue;
        }

        const QString name = valueAsText(*key).value_or(QString());
        if (const auto* shared = findKey(SharedKeys, name)) {
            if (const auto reason = applyValue(settings.global, *shared, *value))
                fault(start, *reason);
        } else if (const auto* slotKey = findKey(SlotKeys, name)) {
            const auto slot = slotIndex(*index);
            if (!slot)
                fault(start, QStringLiteral("番号が 0 から 10 の数ではありません"));
            else if (const auto reason = applyValue(settings.slot[*slot], *slotKey, *value))
                fault(start, *reason);
        }
    }
    return end;
}

QString describeIniFault(const QString& fileName, const IniFault& fault)
{
    return QStringLiteral("設定ファイル %1 の %2 行目を読めません: %3").arg(fileName).arg(fault.line).arg(fault.reason);
}

IniLoad Load_ini(SettingsModel& settings, const CodePage& codePage)
{
    IniLoad load;
    QString name = QString::fromLatin1(SettingsFileName);
    if (File_Ok(name) != 0)
        name = QString::fromLatin1(PreviousSettingsFileName);
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly))
        return load;
    // A saved file is a few kilobytes; a huge one is read no further than this, so that start-up cannot
    // exhaust memory. It is cut after its last whole line within the limit, and what stands beyond has no
    // effect.
    QByteArray bytes = file.read(MaxSettingsFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        load.faults.append(IniFault{1, file.errorString()});
        load.fileName = name;
        return load;
    }
    load.fileName = name;
    bool cut = false;
    if (bytes.size() > MaxSettingsFileSize) {
        bytes.truncate(MaxSettingsFileSize);
        bytes.truncate(qMax(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r')) + 1);
        cut = true;
    }
    readIni(bytes, settings, codePage, &load.faults);
    if (cut)
        load.faults.append(IniFault{lineAt(CodePage::withoutByteOrderMark(bytes), bytes.size()),
                                    QStringLiteral("ファイルが大きすぎるため、ここから先は読みません")});
    return load;
}

bool Save_ini(const SettingsModel& settings, const CodePage& codePage)
{
    const QString name = QString::fromLatin1(SettingsFileName);
    const QByteArray bytes = formatIni(settings, codePage);
    const bool existed = QFileInfo::exists(name);
    QString why;
    if (!RegularFile::mayReplace(name, &why)) {
        qWarning().noquote() << why;
        return false;
    }

    // Written aside and renamed over, so a failure leaves the previous file as it was. In a read-only folder
    // nothing can be put aside; a writable file there is written in place rather than not saved at all, and
    // its old bytes are kept: a write that fails part-way (a full disk, a file size limit) would leave it cut.
    std::optional<QByteArray> old;
    if (existed) {
        QFile current(name);
        if (current.open(QIODevice::ReadOnly)) {
            old = current.readAll();
            if (current.error() != QFileDevice::NoError)
                old.reset();
        }
    }
    QSaveFile file(RegularFile::saveFileName(name));
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto fail = [&] {
        file.cancelWriting();
        file.commit(); // closes the file, or removes what was written aside
        if (old)
            putBack(name, *old);
        return false;
    };
    // The file holds the FTP password: a new one is for its owner only; an existing one keeps its mode.
    if (!existed && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return fail();
    // commit() alone misses a short write of the buffered tail (a full disk, a file size limit) and would put
    // a truncated file in place: flush first and check.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError)
        return fail();
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        return fail();
#endif
    if (file.commit())
        return true;
    if (old)
        putBack(name, *old);
    return false;
}
