// Procedures whose bodies are still being written; each moves to its own file when it is built.
#include "run/engine.h"

qint16 Engine::CHIKAN(qint16) { return -1; }

qint16 Engine::FTPputFILE(qint16) { return 0; }
