#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// The shell's "open" verb: hands a file or an address to the desktop's default application (browser,
// HTML viewer...). Whether the desktop managed to open it is not examined: a missing file or a missing
// browser goes unreported, as the callers want.
namespace ShellOpen {

// What the desktop is asked to open for target: an address with a scheme ("http://...", "file:...",
// "mailto:...") stays as it is; anything else is a file name, resolved against the current directory
// (a Windows drive letter "C:\..." is a file name too). Empty for an empty target.
QUrl targetUrl(const QString& target);

// Tests: while a recorder is set, requests go to it instead of the desktop. An empty function restores
// the desktop.
using Recorder = std::function<void(const QUrl&)>;
void setRecorder(Recorder recorder);

} // namespace ShellOpen

void shellOpen(const QString& target);
