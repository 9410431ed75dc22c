// Procedures whose bodies are still being written; each moves to its own file when it is built.
#include "run/engine.h"

void Engine::GlobalIPaddress() {}

void Engine::LocalIPaddress() {}

void Engine::EXEC_EVENT() {}

void Engine::EXEC_EVENT_Unload() {}

void Engine::Timer1_Timer() {}

void Engine::Auto_Re_Draw() {}

void Engine::Command1_Click() {}

void Engine::FTPcommand_Click() {}

void Engine::GetGlobalIP_Click() {}

void Engine::Save_Log(const QString&, const QString&) {}

#include "settings/ini_file.h"

int File_Ok(const QString&) { return 1; }

void Load_ini(SettingsModel&, const CodePage&) {}

bool Save_ini(const SettingsModel&, const CodePage&) { return false; }
