#pragma once

#include <QByteArray>
#include <QString>

// The system code page that every text file of the program is in: the ANSI code page on Windows
// (windows-31j on a Japanese system), the locale's charset elsewhere. Chosen once at start; every routine
// that reads or writes text takes one, so tests run under windows-31j and UTF-8 alike.
class CodePage
{
public:
    explicit CodePage(const QByteArray& name);

    static const CodePage& system();

    QByteArray name() const { return m_name; }
    bool isUtf8() const { return m_utf8; }
    bool isShiftJis() const { return m_shiftJis; }

    // Every character as it stands, a U+FEFF at the start included: the bytes are often a piece of a file
    // (a field, a line), where it is text; only the start of a whole file may carry a byte-order mark.
    QString decode(QByteArrayView bytes) const;
    QByteArray encode(QStringView text) const;

    // The bytes without the UTF-8 byte-order mark that an editor may have put at the start of a file.
    static QByteArrayView withoutByteOrderMark(QByteArrayView bytes);

    // Bytes taken by the character that starts at data[0] (1 or 2 under Shift_JIS, 1 to 4 under UTF-8;
    // an invalid byte counts as one), never more than available.
    qsizetype charLength(const char* data, qsizetype available) const;

private:
    QByteArray m_name;
    bool m_utf8 = false;
    bool m_shiftJis = false;
};
