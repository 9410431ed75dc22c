#pragma once

#include "settings/settings_model.h"

#include <QString>
#include <QStringList>

#include <optional>

// The settings as a person types and reads them on a command line, so that nobody has to write the settings
// file's quoted records by hand. A setting is named by its file key, with ",N" for slot N (0 to 8; "設定1"
// is 0): "TIMERSET", "FTPFILENAME,0".

// Every setting of the shared settings and slots 0 to 8, in file order, as "KEY[,N] = value"; Booleans as
// true or false, the password masked.
QStringList listSettings(const SettingsModel& settings);

// Takes "KEY[,N]=VALUE" into the model as the window would take it from its controls: a period from the
// list, 0 or 1 for a check box or the router choice, one line of text, a trigger chosen within its group.
// The reason when it is refused; the model is then unchanged. The password is never taken this way.
std::optional<QString> applySetting(SettingsModel& settings, const QString& assignment);
