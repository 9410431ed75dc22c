#pragma once

#include "platform/code_page.h"

#include <QString>

#include <optional>

struct CommandLine;
class ConsoleView;

// The modes without a window. Each returns the process's exit status; a QCoreApplication must exist and no
// QGuiApplication is needed, so they run with no display.
int runConsoleMode(const CommandLine& line);

// Makes the folder named on the command line the working folder, so that every file named without a path
// lies there; without --dir, defaultWorkingFolder(), made (mode 0700) when missing. The line to print when it
// cannot (the caller exits with UsageExitStatus).
std::optional<QString> enterWorkingFolder(const CommandLine& line);

// $XDG_DATA_HOME/veltora, or ~/.local/share/veltora when that is unset or relative; empty when neither names
// a folder.
QString defaultWorkingFolder();

// The line to print when another user could change what the program reads and writes in the working folder
// (the caller exits with ConfigurationStatus): the folder, or the settings file it reads, is another user's or
// writable by another user. A sticky folder (as /tmp) that others may write is taken all the same, since
// they cannot touch our files there; the settings file must then still be ours alone.
std::optional<QString> unsafeFolderLine();

// The code page named on the command line, else the system's.
CodePage codePageOf(const CommandLine& line);

// --init, --settings, --set and --set-password, in the working folder.
int runSettingsCommand(const CommandLine& line, ConsoleView& view);

// One run as run-now makes it; on-change state carried in the folder's state file.
int runOnce(ConsoleView& view, const CodePage& codePage);
// The address check alone; the address on standard output.
int runCheck(ConsoleView& view, const CodePage& codePage);
// --trust: each server of the settings connected to without a login, its host key or certificate shown and
// judged; on a terminal each unknown one trusted when the user answers y. 0 when all are trusted.
int runTrust(ConsoleView& view, const CodePage& codePage);
// The resident program without a window, until SIGTERM, SIGINT or SIGHUP.
int runHeadless(ConsoleView& view, const CodePage& codePage);

// Exit statuses of the one-shot mode besides 0 and those of command_line.h.
inline constexpr int CheckFailedStatus = 1;
inline constexpr int TransferFailedStatus = 2;
