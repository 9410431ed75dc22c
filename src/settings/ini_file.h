#pragma once

#include "platform/code_page.h"
#include "run/file_names.h"
#include "settings/settings_model.h"

#include <QString>

// The settings file: FileNames::Settings in the current directory, read with a fallback to the previous
// version's FileNames::PreviousSettings (which is never written).
inline constexpr const char* SettingsFileName = FileNames::Settings;
inline constexpr const char* PreviousSettingsFileName = FileNames::PreviousSettings;

// How much of a settings file is read at most.
inline constexpr qint64 MaxSettingsFileSize = 1024 * 1024;

// 0 when the named file can be opened for reading, 1 when it cannot. Never fails.
int File_Ok(const QString& filename);

// Reads the settings file over what the model holds (the defaults, at start-up).
void Load_ini(SettingsModel& settings, const CodePage& codePage);

// Writes the settings file whole; false when it could not be written (the old file then stays as it was).
bool Save_ini(const SettingsModel& settings, const CodePage& codePage);

// The file's contents as bytes: the 108 records of the shared settings and slots 0 to 8, CR LF ended.
QByteArray formatIni(const SettingsModel& settings, const CodePage& codePage);

enum class IniReadEnd {
    Complete, // every record was applied
    Fault,    // a faulty record stopped the reading; the records before it kept their effect
};

// Applies the records held in bytes to the model, in file order.
IniReadEnd readIni(QByteArrayView bytes, SettingsModel& settings, const CodePage& codePage);
