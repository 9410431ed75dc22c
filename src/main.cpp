#include "app/command_line.h"
#include "app/modes.h"
#include "app/window_program.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    const CommandLine line = parseCommandLine(argumentsOf(argc, argv), rawArgumentsOf(argc, argv));
    switch (line.mode) {
    case CommandLine::Mode::Help:
    case CommandLine::Mode::Version:
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Mode::UsageError:
        std::fprintf(stderr, "%s\n", line.text.toLocal8Bit().constData());
        return UsageExitStatus;
    case CommandLine::Mode::Window:
        return execWindowProgram(argv);
    default:
        break;
    }
    QCoreApplication app(argc, argv); // no GUI: these modes run without a display
    return runConsoleMode(line);
}
