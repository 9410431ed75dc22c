#include "app/command_line.h"
#include "ui/window_mode.h"

#include <cstdio>

// veltora-window: the program with its window, started by veltora with the same arguments.
int main(int argc, char* argv[])
{
    const CommandLine line = parseCommandLine(argumentsOf(argc, argv), rawArgumentsOf(argc, argv));
    if (line.mode != CommandLine::Mode::Window) {
        std::fprintf(stderr, "%s\n",
                     (line.mode == CommandLine::Mode::UsageError
                          ? line.text
                          : QStringLiteral("veltora-window: veltora を使ってください"))
                         .toLocal8Bit()
                         .constData());
        return UsageExitStatus;
    }
    return runWindow(argc, argv, line);
}
