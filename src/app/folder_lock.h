#pragma once

#include <QDir>
#include <QLockFile>
#include <QString>

#include <memory>

// Keeps a second Veltora out of a working folder: two processes there would race on "GLOBALIP.TXT", the work
// files, the log and the settings file. The lock is FileNames::Lock in the folder, held for the life of the
// object. A resident program holds it for days, so it never goes stale by age (setStaleLockTime(0)); a lock
// left by a process that has died (its id no longer runs on this host) is taken over.
//
// A folder where the lock cannot be made at all (read-only, or on a file system without the needed
// operations) is CannotCreate, and the callers go on without the guard: Veltora supports read-only folders
// (the settings are read, the pages uploaded, nothing stored there), and refusing to run there would break
// what works; another instance in such a folder could not write its files there either.
class FolderLock
{
public:
    // NotRegularFile: something else stands under the lock's name (a symbolic link, planted or dangling, a
    // folder, a pipe); it is never taken for another instance's lock, nor removed.
    enum class Outcome { Held, HeldByAnother, CannotCreate, NotRegularFile };

    explicit FolderLock(const QString& folder = QStringLiteral("."));
    ~FolderLock();

    // Tries for up to waitMilliseconds (0: once) to take the lock.
    Outcome acquire(int waitMilliseconds = 0);

    QString lockPath() const { return QDir(m_path).absolutePath(); }
    // The line that says what stands in the lock's place and what to do about it (NotRegularFile).
    QString notRegularFileLine() const;
    // The program name the lock's holder wrote into it (veltora or veltora-window); empty when unknown.
    QString holder() const;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
