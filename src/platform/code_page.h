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

    QString decode(QByteArrayView bytes) const;
    QByteArray encode(QStringView text) const;

    // Bytes taken by the character that starts at data[0] (1 or 2 under Shift_JIS, 1 to 4 under UTF-8;
    // an invalid byte counts as one), never more than available.
    qsizetype charLength(const char* data, qsizetype available) const;

private:
    QByteArray m_name;
    bool m_utf8 = false;
    bool m_shiftJis = false;
};
