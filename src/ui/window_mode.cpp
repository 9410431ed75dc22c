#include "ui/window_mode.h"

#include "app/command_line.h"
#include "app/folder_lock.h"
#include "app/modes.h"
#include "ui/main_form.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <cstdio>

int runWindow(int& argc, char** argv, const CommandLine& line)
{
    // Before the application object: a wrong folder is a usage error and needs no display.
    if (const auto error = enterWorkingFolder(line)) {
        std::fprintf(stderr, "%s\n", error->toLocal8Bit().constData());
        return UsageExitStatus;
    }
    QApplication app(argc, argv);
    if (const auto unsafe = unsafeFolderLine()) {
        std::fprintf(stderr, "%s\n", unsafe->toLocal8Bit().constData());
        QMessageBox::critical(nullptr, QStringLiteral("Veltora"), *unsafe);
        return ConfigurationStatus;
    }
    // The lock goes on a read-only folder's program without a word (see FolderLock).
    FolderLock lock;
    switch (lock.acquire()) {
    case FolderLock::Outcome::HeldByAnother:
        QMessageBox::warning(nullptr, QStringLiteral("Veltora"),
                             QStringLiteral("このフォルダでは既にVeltoraが動いています。\n") +
                                 QDir::toNativeSeparators(QDir::currentPath()));
        return TemporaryFailureStatus;
    case FolderLock::Outcome::NotRegularFile:
        std::fprintf(stderr, "%s\n", lock.notRegularFileLine().toLocal8Bit().constData());
        QMessageBox::warning(nullptr, QStringLiteral("Veltora"), lock.notRegularFileLine());
        return ConfigurationStatus;
    default:
        break;
    }
    MainForm form(codePageOf(line)); // shows itself, or starts in the notification area
    return app.exec();
}
