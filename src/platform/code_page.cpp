#include "platform/code_page.h"

#include <QStringDecoder>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <clocale>
#include <langinfo.h>
#endif

namespace {

QByteArray systemCodePageName()
{
#ifdef Q_OS_WIN
    const UINT acp = GetACP();
    if (acp == 932)
        return "windows-31j";
    if (acp == 65001)
        return "UTF-8";
    return "windows-" + QByteArray::number(acp);
#else
    std::setlocale(LC_CTYPE, "");
    const QByteArray charset = nl_langinfo(CODESET);
    // The bare C/POSIX locale reports ASCII; Qt itself treats it as UTF-8, and so do we, so that the
    // Japanese texts never degrade to question marks.
    if (charset.isEmpty() || charset == "ANSI_X3.4-1968" || charset == "ASCII")
        return "UTF-8";
    if (!QStringDecoder(charset.constData()).isValid())
        return "UTF-8";
    return charset;
#endif
}

bool sameName(const QByteArray& a, const char* b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

CodePage::CodePage(const QByteArray& name) : m_name(name)
{
    m_utf8 = sameName(name, "UTF-8") || sameName(name, "UTF8");
    m_shiftJis = sameName(name, "windows-31j") || sameName(name, "Shift_JIS") || sameName(name, "SJIS") ||
                 sameName(name, "CP932") || sameName(name, "MS_Kanji");
}

const CodePage& CodePage::system()
{
    static const CodePage page(systemCodePageName());
    return page;
}

QString CodePage::decode(QByteArrayView bytes) const
{
    QStringDecoder decoder(m_name.constData(),
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

QByteArrayView CodePage::withoutByteOrderMark(QByteArrayView bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
}

QByteArray CodePage::encode(QStringView text) const
{
    QStringEncoder encoder(m_name.constData(), QStringEncoder::Flag::Stateless);
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

qsizetype CodePage::charLength(const char* data, qsizetype available) const
{
    if (available <= 0)
        return 0;
    const auto lead = static_cast<unsigned char>(data[0]);
    qsizetype length = 1;
    if (m_shiftJis) {
        if ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC))
            length = 2;
    } else if (m_utf8) {
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4;
        for (qsizetype i = 1; i < length; ++i) {
            if (i >= available || (static_cast<unsigned char>(data[i]) & 0xC0) != 0x80)
                return i; // a broken sequence: its bytes pass one by one
        }
    }
    return length < available ? length : available;
}
