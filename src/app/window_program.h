#pragma once

// The window lives in a program of its own (veltora-window), so that this one, which serves the modes
// without a window, links Qt Core alone and a headless service does not carry the GUI libraries' memory.
// Replaces this process with it, passing the same arguments; returns only when it could not be started,
// with the exit status to use after the message printed on stderr.
int execWindowProgram(char** argv);
