#include "platform/regular_file.h"
#include "run/engine.h"

#include <QDebug>
#include <QFile>

namespace {

// #2026-12-06 10:15:36#, the date alone at exactly midnight.
QString logStamp(const QDateTime& when)
{
    const QTime time = when.time();
    const bool midnight = time.hour() == 0 && time.minute() == 0 && time.second() == 0;
    const QString text =
        midnight ? when.toString(QStringLiteral("yyyy-MM-dd")) : when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return QLatin1Char('#') + text + QLatin1Char('#');
}

} // namespace

void Engine::Save_Log(const QString& Str1, const QString& Str2)
{
    emit eventRecorded(Str1, Str2);
    if (settings.global.LOG == 0)
        return;

    // Opened and closed per line, so every line is complete for a reader between events; a failure
    // loses the line and nothing else (QFile closes itself on every path).
    QFile file;
    QString why;
    if (!RegularFile::openForWriting(file, QString::fromLatin1(FileNames::Log), RegularFile::Write::Append, &why)) {
        qWarning().noquote() << why;
        return;
    }
    const QString line = logStamp(Clock::now()) + QStringLiteral(",\"") + Str1 + QStringLiteral("\",\"") + Str2 +
                         QStringLiteral("\"\r\n");
    file.write(m_codePage.encode(line));
}
