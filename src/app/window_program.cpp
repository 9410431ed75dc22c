#include "app/window_program.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Exit status when the window program is missing (126, as a shell reports a program it cannot run).
constexpr int CannotRunStatus = 126;

QString ownFolder()
{
    // The real file, so that a symbolic link in PATH still finds the program installed beside it.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

} // namespace

int execWindowProgram(char** argv)
{
    const QDir folder(ownFolder());
    // Beside this program in the build folder; under libexec once installed.
    const QStringList candidates{folder.filePath(QStringLiteral("veltora-window")),
                                 folder.filePath(QStringLiteral(VELTORA_WINDOW_FROM_BINDIR))};
    for (const QString& candidate : candidates) {
        if (!QFileInfo(candidate).isExecutable())
            continue;
        const QByteArray path = QFile::encodeName(QDir::cleanPath(candidate));
        ::execv(path.constData(), argv);
        std::fprintf(stderr, "veltora: %s: %s\n", path.constData(), std::strerror(errno));
        return CannotRunStatus;
    }
    std::fprintf(stderr, "%s\n",
                 QStringLiteral("veltora: 画面のプログラム veltora-window が見つかりません: %1")
                     .arg(QDir::toNativeSeparators(candidates.last()))
                     .toLocal8Bit()
                     .constData());
    return CannotRunStatus;
}
