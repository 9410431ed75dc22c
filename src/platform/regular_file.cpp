#include "platform/regular_file.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool refuse(QString* why, const QString& name, const QString& reason)
{
    if (why)
        *why = QStringLiteral("veltora: ") + name + QStringLiteral(": ") + reason;
    return false;
}

bool refuseLink(QString* why, const QString& name)
{
    return refuse(why, name, QStringLiteral("シンボリックリンクなので書き込みません"));
}

bool refuseNonRegular(QString* why, const QString& name)
{
    return refuse(why, name,
                  QStringLiteral("通常のファイルではない (名前付きパイプ・デバイス・フォルダなど) ので使いません"));
}

bool refuseErrno(QString* why, const QString& name, int error)
{
    return refuse(why, name, QString::fromLocal8Bit(std::strerror(error)));
}

// Hands the descriptor of a regular file, opened without waiting, to `file`, in blocking mode again.
bool adopt(QFile& file, int fd, QIODevice::OpenMode mode, const QString& name, QString* why)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return refuseNonRegular(why, name);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        const int error = errno;
        ::close(fd);
        return refuseErrno(why, name, error);
    }
    return true;
}

} // namespace

namespace RegularFile {

bool openForReading(QFile& file, const QString& name, QString* why, Links links, QIODevice::OpenMode mode)
{
    const QByteArray path = QFile::encodeName(name);
    // Looked at before opening: opening a device can itself act (a tape rewinds, a modem line is raised).
    struct stat status = {};
    const int looked = links == Links::Follow ? ::stat(path.constData(), &status) : ::lstat(path.constData(), &status);
    if (looked != 0)
        return refuseErrno(why, name, errno);
    if (S_ISLNK(status.st_mode))
        return refuse(why, name, QStringLiteral("シンボリックリンクなので読みません"));
    if (!S_ISREG(status.st_mode))
        return refuseNonRegular(why, name);
    // Without waiting, in case a pipe took the file's place meanwhile; adopt() checks again what was opened.
    const int fd =
        ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0)
        return refuseErrno(why, name, errno);
    return adopt(file, fd, mode | QIODevice::ReadOnly, name, why);
}

bool openForWriting(QFile& file, const QString& name, Write how, QString* why)
{
    if (!mayReplace(name, why))
        return false;
    const QByteArray path = QFile::encodeName(name);
    const int fd =
        ::open(path.constData(),
               O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (how == Write::Append ? O_APPEND : 0), 0666);
    if (fd < 0)
        return errno == ELOOP ? refuseLink(why, name) : refuseErrno(why, name, errno);
    const QIODevice::OpenMode mode =
        how == Write::Append ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly;
    if (!adopt(file, fd, mode, name, why))
        return false;
    // Emptied only once it is known to be a regular file of its own.
    if (how == Write::Empty && !file.resize(0)) {
        file.close();
        return refuse(why, name, file.errorString());
    }
    return true;
}

QString saveFileName(const QString& name)
{
    if (!QDir::isRelativePath(name))
        return name;
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer))
        return name;
    const QByteArray folder(buffer);
    if (QFile::encodeName(QFile::decodeName(folder)) == folder)
        return name;
    return QStringLiteral("/proc/self/cwd/") + name;
}

bool mayReplace(const QString& name, QString* why)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(name).constData(), &status) != 0)
        return true; // missing; anything else in the way is for the writing itself to report
    if (S_ISLNK(status.st_mode))
        return refuseLink(why, name);
    if (!S_ISREG(status.st_mode))
        return refuseNonRegular(why, name);
    return true;
}

} // namespace RegularFile
