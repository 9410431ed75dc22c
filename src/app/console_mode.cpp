#include "app/command_line.h"
#include "app/console_view.h"
#include "app/folder_lock.h"
#include "app/modes.h"
#include "run/file_names.h"
#include "settings/ini_file.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long the one-shot modes wait for a resident program's run, or another one-shot, to let the folder go.
constexpr int OneShotLockWaitMilliseconds = 60 * 1000;

QString currentFolder()
{
    return QDir::toNativeSeparators(QDir::currentPath());
}

} // namespace

std::optional<QString> enterWorkingFolder(const CommandLine& line)
{
    if (line.folder.isEmpty())
        return std::nullopt;
    // By its bytes: QString cannot hold a name that is no text in the locale's encoding.
    const QByteArray path = line.folderPath.isEmpty() ? QFile::encodeName(line.folder) : line.folderPath;
    struct stat status = {};
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return QStringLiteral("veltora: フォルダがありません: ") + line.folder;
    if (::chdir(path.constData()) != 0)
        return QStringLiteral("veltora: フォルダに移れません: ") + line.folder;
    return std::nullopt;
}

CodePage codePageOf(const CommandLine& line)
{
    return line.codePage.isEmpty() ? CodePage::system() : CodePage(line.codePage);
}

int runConsoleMode(const CommandLine& line)
{
    ConsoleView view;
    if (const auto error = enterWorkingFolder(line)) {
        view.printLine(*error);
        return UsageExitStatus;
    }
    // Checked before the lock, so that a folder named by mistake is left as it was.
    if (File_Ok(QString::fromLatin1(FileNames::Settings)) != 0 &&
        File_Ok(QString::fromLatin1(FileNames::PreviousSettings)) != 0) {
        view.printLine(QStringLiteral("veltora: 設定ファイル ") + QString::fromLatin1(FileNames::Settings) +
                       QStringLiteral(" がありません: ") + currentFolder());
        return ConfigurationStatus;
    }
    if (const auto unsafe = unsafeFolderLine()) {
        view.printLine(*unsafe);
        return ConfigurationStatus;
    }

    FolderLock lock;
    const int wait = line.mode == CommandLine::Mode::Headless ? 0 : OneShotLockWaitMilliseconds;
    switch (lock.acquire(wait)) {
    case FolderLock::Outcome::Held:
        break;
    case FolderLock::Outcome::HeldByAnother:
        view.printLine(QStringLiteral("veltora: 他のVeltoraがこのフォルダで動いています: ") + currentFolder());
        return TemporaryFailureStatus;
    case FolderLock::Outcome::NotRegularFile:
        view.printLine(lock.notRegularFileLine());
        return ConfigurationStatus;
    case FolderLock::Outcome::CannotCreate:
        view.printLine(QStringLiteral("veltora: ロックファイルを作れないため、二重起動を防げません: ") +
                       QDir::toNativeSeparators(lock.lockPath()));
        break;
    }

    const CodePage codePage = codePageOf(line);
    switch (line.mode) {
    case CommandLine::Mode::Once:
        return runOnce(view, codePage);
    case CommandLine::Mode::Check:
        return runCheck(view, codePage);
    default:
        return runHeadless(view, codePage);
    }
}
