#include "app/folder_lock.h"

#include "run/file_names.h"

#include <QDir>

#include <sys/stat.h>

// The path stays relative: an absolute one goes through the folder's name as text, which a name that is no text
// in the locale's encoding does not survive.
FolderLock::FolderLock(const QString& folder)
    : m_path(QDir(folder).filePath(QString::fromLatin1(FileNames::Lock))), m_lock(std::make_unique<QLockFile>(m_path))
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
    if (m_lock->isLocked())
        return Outcome::Held;
    struct stat status = {};
    if (::lstat(QFile::encodeName(m_path).constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return Outcome::NotRegularFile;
    if (m_lock->tryLock(waitMilliseconds))
        return Outcome::Held;
    // Judged by the reason, not by the result alone: only a lock that someone holds is another instance.
    return m_lock->error() == QLockFile::LockFailedError ? Outcome::HeldByAnother : Outcome::CannotCreate;
}

QString FolderLock::notRegularFileLine() const
{
    return QStringLiteral("veltora: ロックファイル %1 が通常のファイルではありません (シンボリックリンクなど)。"
                          "中身を確かめて削除してください")
        .arg(QDir::toNativeSeparators(lockPath()));
}
