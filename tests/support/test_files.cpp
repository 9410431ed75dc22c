#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>

#include <mutex>

#include <sys/resource.h>

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList logEvents(const QString& logFile)
{
    QStringList events;
    QFile file(logFile);
    if (!file.open(QIODevice::ReadOnly))
        return events;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const qsizetype open = line.indexOf(QLatin1String(",\""));
        const qsizetype close = line.indexOf(QLatin1String("\",\""), open);
        events << (open < 0 || close < 0 ? line : line.mid(open + 2, close - open - 2));
    }
    return events;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TemporaryWorkDir::TemporaryWorkDir() : m_previous(QDir::currentPath())
{
    m_entered = m_dir.isValid() && QDir::setCurrent(m_dir.path());
}

TemporaryWorkDir::~TemporaryWorkDir()
{
    QDir::setCurrent(m_previous);
    // A case may have left the directory read-only; it must still be removable.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

namespace {
std::mutex warningsMutex;
QStringList* warningsSink = nullptr;
QtMessageHandler previousHandler = nullptr;

void collectWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QtMessageHandler previous = nullptr;
    {
        std::lock_guard lock(warningsMutex);
        if (type == QtWarningMsg && warningsSink) {
            warningsSink->append(message);
            return;
        }
        previous = previousHandler;
    }
    if (previous)
        previous(type, context, message);
}
} // namespace

void watchPage(const QString& page, const QString& temporary, const QByteArray& oldPage, const QByteArray& newPage,
               const std::function<void()>& upload, QStringList& seen, bool& sawTemporary)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QByteArray now = fileBytes(page);
        seen << (now == oldPage       ? QStringLiteral("old")
                 : now == newPage     ? QStringLiteral("new")
                 : now == "<missing>" ? QStringLiteral("missing")
                                      : QStringLiteral("cut"));
        sawTemporary = sawTemporary || QFile::exists(temporary);
    });
    poll.start(2);
    upload();
}

QStringList capturingWarnings(const std::function<void()>& work)
{
    QStringList warnings;
    {
        std::lock_guard lock(warningsMutex);
        warningsSink = &warnings;
        previousHandler = qInstallMessageHandler(collectWarning);
    }
    work();
    std::lock_guard lock(warningsMutex);
    qInstallMessageHandler(previousHandler);
    warningsSink = nullptr;
    return warnings;
}
