// Procedures whose bodies are still being written; each moves to its own file when it is built.
#include "run/engine.h"

qint16 Engine::CHIKAN(qint16) { return -1; }

qint16 Engine::FTPputFILE(qint16) { return 0; }

void Engine::EXEC_EVENT() {}

void Engine::EXEC_EVENT_Unload() {}

void Engine::Timer1_Timer() {}

void Engine::Auto_Re_Draw() {}

void Engine::Command1_Click() {}

void Engine::FTPcommand_Click() {}

void Engine::GetGlobalIP_Click() {}
