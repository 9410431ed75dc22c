#include "app/command_line.h"
#include "app/console_view.h"
#include "app/folder_lock.h"
#include "app/modes.h"
#include "run/file_names.h"
#include "settings/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long the one-shot modes wait for a resident program's run, or another one-shot, to let the folder go.
constexpr int OneShotLockWaitMilliseconds = 60 * 1000;

QString currentFolder()
{
    return QDir::toNativeSeparators(QDir::currentPath());
}

// Each line of the settings file that cannot be read, on the status stream; true when there was one. A
// mode without a window must not run on settings the user did not mean: a slot whose record was lost
// would silently upload nothing, or the wrong page.
bool reportUnreadableSettings(ConsoleView& view, const CodePage& codePage)
{
    SettingsModel scratch;
    scratch.applyDefaults();
    const IniLoad load = Load_ini(scratch, codePage);
    for (const IniFault& fault : load.faults)
        view.printLine(QStringLiteral("veltora: ") + describeIniFault(load.fileName, fault));
    return !load.faults.isEmpty();
}

} // namespace

// Makes the folder and whichever of its parents are missing, each readable by its owner only (the folder
// holds the FTP password), as the base directory rules ask for folders made under the user's data home.
bool makeOwnFolder(const QString& path, QString* error)
{
    if (QFileInfo(path).isDir())
        return true;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !makeOwnFolder(parent, error))
        return false;
    if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || (errno == EEXIST && QFileInfo(path).isDir()))
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

std::optional<QString> enterWorkingFolder(const CommandLine& line)
{
    if (line.folder.isEmpty()) {
        // Every way of starting (the menu, a terminal, the units, cron) finds the same settings.
        const QString folder = defaultWorkingFolder();
        if (folder.isEmpty())
            return QStringLiteral("veltora: HOME も XDG_DATA_HOME もないため、フォルダを決められません。--dir で指定してください");
        QString error;
        if (!makeOwnFolder(folder, &error))
            return QStringLiteral("veltora: フォルダを作れません: ") + folder + QStringLiteral(" (") + error +
                   QLatin1Char(')');
        if (!QDir::setCurrent(folder))
            return QStringLiteral("veltora: フォルダに移れません: ") + folder;
        return std::nullopt;
    }
    // By its bytes: QString cannot hold a name that is no text in the locale's encoding.
    const QByteArray path = line.folderPath.isEmpty() ? QFile::encodeName(line.folder) : line.folderPath;
    struct stat status = {};
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return QStringLiteral("veltora: フォルダがありません: ") + line.folder;
    if (::chdir(path.constData()) != 0)
        return QStringLiteral("veltora: フォルダに移れません: ") + line.folder;
    return std::nullopt;
}

QString defaultWorkingFolder()
{
    // A relative XDG_DATA_HOME is to be ignored, as the base directory rules say.
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.isEmpty() && QDir::isAbsolutePath(dataHome))
        return QDir::cleanPath(dataHome + QStringLiteral("/veltora"));
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        return QString();
    return QDir::cleanPath(home + QStringLiteral("/.local/share/veltora"));
}

CodePage codePageOf(const CommandLine& line)
{
    return line.codePage.isEmpty() ? CodePage::system() : CodePage(line.codePage);
}

int runConsoleMode(const CommandLine& line)
{
    ConsoleView view;
    view.setJournal(qEnvironmentVariableIsSet("JOURNAL_STREAM"));
    if (line.isConsoleMode()) {
        view.setQuiet(line.quiet);
        view.takeOverMessages();
    }
    if (const auto error = enterWorkingFolder(line)) {
        view.printLine(*error);
        return UsageExitStatus;
    }
    if (const auto unsafe = unsafeFolderLine()) {
        view.printLine(*unsafe);
        return ConfigurationStatus;
    }
    if (line.isSettingsCommand())
        return runSettingsCommand(line, view);
    // Checked before the lock, so that a folder named by mistake is left as it was.
    if (File_Ok(QString::fromLatin1(FileNames::Settings)) != 0 &&
        File_Ok(QString::fromLatin1(FileNames::PreviousSettings)) != 0) {
        view.printLine(QStringLiteral("veltora: 設定ファイル ") + QString::fromLatin1(FileNames::Settings) +
                       QStringLiteral(" がありません: ") + currentFolder());
        return ConfigurationStatus;
    }
    const CodePage codePage = codePageOf(line);
    if (reportUnreadableSettings(view, codePage))
        return ConfigurationStatus;
    // Reads the settings only: the window or a service may keep running meanwhile.
    if (line.mode == CommandLine::Mode::Trust)
        return runTrust(view, codePage);

    FolderLock lock;
    FolderLock::Outcome outcome = lock.acquire(0);
    if (outcome == FolderLock::Outcome::HeldByAnother && line.mode != CommandLine::Mode::Headless) {
        // Said at once: a run of the window or of a service may keep the folder for a while.
        const QString holder = lock.holder() == QLatin1String("veltora-window")
                                   ? QStringLiteral("画面の Veltora")
                                   : QStringLiteral("他の veltora (サービスか1回の実行)");
        view.printLine(QStringLiteral("veltora: %1 がこのフォルダを使っています。空くまで最長%2秒待ちます: %3")
                           .arg(holder)
                           .arg(OneShotLockWaitMilliseconds / 1000)
                           .arg(currentFolder()),
                       ConsoleView::Priority::Warning);
        outcome = lock.acquire(OneShotLockWaitMilliseconds);
    }
    switch (outcome) {
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
                           QDir::toNativeSeparators(lock.lockPath()),
                       ConsoleView::Priority::Warning);
        break;
    }

    switch (line.mode) {
    case CommandLine::Mode::Once:
        return runOnce(view, codePage);
    case CommandLine::Mode::Check:
        return runCheck(view, codePage);
    default:
        return runHeadless(view, codePage);
    }
}
