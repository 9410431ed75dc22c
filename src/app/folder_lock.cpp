#include "app/folder_lock.h"

#include "run/file_names.h"

#include <QDir>

FolderLock::FolderLock(const QString& folder)
    : m_path(QDir(folder).absoluteFilePath(QString::fromLatin1(FileNames::Lock))),
      m_lock(std::make_unique<QLockFile>(m_path))
{
    m_lock->setStaleLockTime(0);
}

FolderLock::~FolderLock() = default;

QString FolderLock::holder() const
{
    qint64 pid = 0;
    QString host;
    QString name;
    return m_lock->getLockInfo(&pid, &host, &name) ? name : QString();
}

FolderLock::Outcome FolderLock::acquire(int waitMilliseconds)
{
    if (m_lock->isLocked() || m_lock->tryLock(waitMilliseconds))
        return Outcome::Held;
    // Judged by the reason, not by the result alone: only a lock that someone holds is another instance.
    return m_lock->error() == QLockFile::LockFailedError ? Outcome::HeldByAnother : Outcome::CannotCreate;
}
