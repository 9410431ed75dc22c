// Procedures whose bodies are still being written; each moves to its own file when it is built.
#include "run/engine.h"

void Engine::GlobalIPaddress() {}

void Engine::LocalIPaddress() {}

qint16 Engine::CHIKAN(qint16) { return -1; }

qint16 Engine::FTPputFILE(qint16) { return 0; }

void Engine::Save_Log(const QString&, const QString&) {}

#include "settings/ini_file.h"

int File_Ok(const QString&) { return 1; }

void Load_ini(SettingsModel&, const CodePage&) {}

bool Save_ini(const SettingsModel&, const CodePage&) { return false; }
