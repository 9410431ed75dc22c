#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the program was asked to do, read from its arguments alone: nothing is opened, printed or checked on
// disk here, so every combination is tested in-process. A usage error carries the one line to print; the
// caller exits with UsageExitStatus after printing it, having read and written nothing.
struct CommandLine
{
    enum class Mode {
        Window,
        Once,
        Check,
        Headless,
        Init,        // --init: the default settings file and a sample template
        Settings,    // --settings: every setting printed
        Set,         // --set KEY[,N]=VALUE ...
        SetPassword, // --set-password: from the terminal or standard input
        Trust,       // --trust: the servers' host keys and certificates shown, and trusted on a terminal
        Help,
        Version,
        UsageError
    };

    Mode mode = Mode::Window;
    QString folder;          // --dir; empty: the user's folder (defaultWorkingFolder)
    QByteArray folderPath;   // --dir as the file system takes it: the argument's own bytes, whatever their encoding
    QByteArray codePage;     // --code-page; empty: the system's
    QString text;            // the help text, the version line or the usage error's line
    QStringList assignments; // --set's KEY[,N]=VALUE arguments
    bool quiet = false;      // --quiet: failures only on standard error

    // Whether the mode runs without a window, a display or a notification area.
    bool isConsoleMode() const { return mode == Mode::Once || mode == Mode::Check || mode == Mode::Headless; }
    // Whether the mode reads or writes the settings for the user, rather than running.
    bool isSettingsCommand() const
    {
        return mode == Mode::Init || mode == Mode::Settings || mode == Mode::Set || mode == Mode::SetPassword;
    }
};

// The exit statuses of sysexits.h that the modes use, so scripts and service managers can tell them apart.
inline constexpr int UsageExitStatus = 64;        // EX_USAGE
inline constexpr int CannotCreateStatus = 73;     // EX_CANTCREAT: a file to write exists already or cannot be written
inline constexpr int TemporaryFailureStatus = 75; // EX_TEMPFAIL: another instance holds the folder
inline constexpr int ConfigurationStatus = 78;    // EX_CONFIG: no settings file, a line unreadable, or a folder not safe

// arguments as main() receives them, the program's name first; `raw` (when given) the same arguments as bytes,
// from which folderPath is taken (a folder name that is not text in the locale's encoding stays as it was).
CommandLine parseCommandLine(const QStringList& arguments, const QList<QByteArray>& raw = {});

// main()'s argv as text, before any application object exists.
QStringList argumentsOf(int argc, char** argv);
// main()'s argv as bytes.
QList<QByteArray> rawArgumentsOf(int argc, char** argv);

// "veltora 0.5.1"
QString versionLine();
