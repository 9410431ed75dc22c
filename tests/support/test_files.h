#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// A file's bytes, or "<missing>" when it cannot be read, so that a comparison shows what went wrong.
QByteArray fileBytes(const QString& path);

// Bytes drawn at random, as a page whose every byte must arrive as it was.
QByteArray randomBytes(int size);

// Writes bytes as the whole file; false when that failed.
bool writeFile(const QString& path, const QByteArray& bytes);

// The event field of every line of a log file ("START", "END", "ファイル転送(終了時)"...); none when the
// file does not exist.
QStringList logEvents(const QString& logFile = QStringLiteral("Veltora.log"));

// The warnings (the program's diagnostics on stderr) issued while `work` runs, from any thread.
QStringList capturingWarnings(const std::function<void()>& work);

// What a page's name on a server's folder held while `upload` ran, looked at every 2 ms: "old", "new",
// "missing" or "cut" (added to `seen` each time), and whether the page's temporary name was seen meanwhile.
void watchPage(const QString& page, const QString& temporary, const QByteArray& oldPage, const QByteArray& newPage,
               const std::function<void()>& upload, QStringList& seen, bool& sawTemporary);

// CPU time (user + system) this process has used so far, in seconds.
double processCpuSeconds();

#include <QTemporaryDir>

// A fresh empty directory made the current one, as the program's files are named relative to it; the
// previous current directory comes back when it goes (so end one before making the next).
class TemporaryWorkDir
{
public:
    TemporaryWorkDir();
    ~TemporaryWorkDir();
    TemporaryWorkDir(const TemporaryWorkDir&) = delete;
    TemporaryWorkDir& operator=(const TemporaryWorkDir&) = delete;

    bool isValid() const { return m_entered; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
    bool m_entered = false;
};
