#pragma once

#include "platform/code_page.h"
#include "run/file_names.h"
#include "settings/settings_model.h"

#include <QList>
#include <QString>

// The settings file: FileNames::Settings in the current directory, read with a fallback to the previous
// version's FileNames::PreviousSettings (which is never written).
inline constexpr const char* SettingsFileName = FileNames::Settings;
inline constexpr const char* PreviousSettingsFileName = FileNames::PreviousSettings;

// How much of a settings file is read at most.
inline constexpr qint64 MaxSettingsFileSize = 1024 * 1024;

// 0 when the named file can be opened for reading, 1 when it cannot. Never fails.
int File_Ok(const QString& filename);

// A record that could not be read: the line it starts on (from 1) and why.
struct IniFault
{
    int line = 0;
    QString reason;

    bool operator==(const IniFault&) const = default;
};

// What a load read: the file (empty when neither could be opened) and the records it could not read.
struct IniLoad
{
    QString fileName;
    QList<IniFault> faults;
};

// "設定ファイル NAME の N 行目を読めません: reason", the line that the user is shown.
QString describeIniFault(const QString& fileName, const IniFault& fault);

// Reads the settings file over what the model holds (the defaults, at start-up). A faulty record has no
// effect; the records before and after it keep theirs.
IniLoad Load_ini(SettingsModel& settings, const CodePage& codePage);

// Writes the settings file whole; false when it could not be written (the old file then stays as it was).
bool Save_ini(const SettingsModel& settings, const CodePage& codePage);

// The file's contents as bytes: the 108 records of the shared settings and slots 0 to 8, CR LF ended; then,
// only when one differs from its default, the 20 IPv6 records (USEIPV6, GLOBALURL6, and per slot HOSTNAME6 and
// HOSTNAME6EXEC). A file without them reads as IPv6 off.
QByteArray formatIni(const SettingsModel& settings, const CodePage& codePage);

enum class IniReadEnd {
    Complete, // every record was applied
    Fault,    // at least one record could not be read and had no effect; every other one kept its effect
};

// Applies the records held in bytes to the model, in file order. A line ends at CR LF, or at a CR or LF alone
// outside a quoted text; faulty records are added to faults, when given.
IniReadEnd readIni(QByteArrayView bytes, SettingsModel& settings, const CodePage& codePage,
                   QList<IniFault>* faults = nullptr);
