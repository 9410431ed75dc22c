#include "platform/gui/shell_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

ShellOpen::Recorder& recorder()
{
    static ShellOpen::Recorder instance;
    return instance;
}

} // namespace

QUrl ShellOpen::targetUrl(const QString& target)
{
    if (target.trimmed().isEmpty())
        return {};
    // Two letters at least, so that "C:\dir\page.html" is taken for the file it is.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(target).hasMatch())
        return QUrl(target, QUrl::TolerantMode);
    return QUrl::fromLocalFile(QFileInfo(QDir::current(), target).absoluteFilePath());
}

void ShellOpen::setRecorder(Recorder newRecorder)
{
    recorder() = std::move(newRecorder);
}

void shellOpen(const QString& target)
{
    const QUrl url = ShellOpen::targetUrl(target);
    if (url.isEmpty())
        return;
    if (recorder()) {
        recorder()(url);
        return;
    }
    QDesktopServices::openUrl(url);
}
