#include "app/modes.h"
#include "run/file_names.h"
#include "settings/ini_file.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Ours or root's, as OpenSSH requires of the files it trusts: any other owner can change its modes.
bool ownedByUsOrRoot(const struct stat& status)
{
    return status.st_uid == ::geteuid() || status.st_uid == 0;
}

bool writableByOthers(const struct stat& status)
{
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

QString nativePath(const QString& name)
{
    return QDir::toNativeSeparators(QDir::current().absoluteFilePath(name));
}

QString othersCanWrite(const QString& what, const QString& path)
{
    return QStringLiteral("veltora: %1 %2 にはほかのユーザも書き込めます。chmod go-w %2 としてから起動してください")
        .arg(what, path);
}

QString ownedByAnother(const QString& what, const QString& path)
{
    return QStringLiteral("veltora: %1 %2 はほかのユーザのものです。自分の%1を使ってください").arg(what, path);
}

} // namespace

std::optional<QString> unsafeFolderLine()
{
    const QString folderWord = QStringLiteral("フォルダ");
    const QString folder = nativePath(QStringLiteral("."));
    struct stat status = {};
    if (::stat(".", &status) != 0)
        return std::nullopt; // nothing to judge; reading the folder fails on its own
    if (!ownedByUsOrRoot(status))
        return ownedByAnother(folderWord, folder);
    // In a sticky folder (as /tmp) others may add files but not touch ours: there only our own files count.
    if (writableByOthers(status) && (status.st_mode & S_ISVTX) == 0)
        return othersCanWrite(folderWord, folder);

    const QString fileWord = QStringLiteral("設定ファイル");
    const QString settings = QString::fromLatin1(
        File_Ok(QString::fromLatin1(FileNames::Settings)) == 0 ? FileNames::Settings : FileNames::PreviousSettings);
    const QByteArray name = QFile::encodeName(settings);
    // The name itself (a link another user made in a sticky folder), then the file it leads to.
    if (::lstat(name.constData(), &status) != 0)
        return std::nullopt;
    if (!ownedByUsOrRoot(status))
        return ownedByAnother(fileWord, nativePath(settings));
    if (::stat(name.constData(), &status) != 0)
        return std::nullopt;
    if (!ownedByUsOrRoot(status))
        return ownedByAnother(fileWord, nativePath(settings));
    if (writableByOthers(status))
        return othersCanWrite(fileWord, nativePath(settings));
    return std::nullopt;
}
