#pragma once

struct CommandLine;

// The program with its window: the application object, the folder lock, MainForm. The process's exit status.
int runWindow(int& argc, char** argv, const CommandLine& line);
