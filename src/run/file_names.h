#pragma once

#include <QString>

// The program's fixed file names. Every one is named without a path and so lies in the working folder (the
// folder the program was started in, or the one named on its command line).
namespace FileNames {

// The settings file, read with a fallback to the previous version's (which is never written).
inline constexpr char Settings[] = "Veltora_050.ini";
inline constexpr char PreviousSettings[] = "Veltora_040.ini";

inline constexpr char Log[] = "Veltora.log";

// The echo page's last answer, exactly as fetched.
inline constexpr char Answer[] = "GLOBALIP.TXT";
// The IPv6 echo page's last answer: its own file, so that each keeps its page's answer byte for byte.
inline constexpr char Answer6[] = "GLOBALIP6.TXT";

// The lock that keeps a second instance out of the folder, and the one-shot mode's state between runs.
inline constexpr char Lock[] = "Veltora.lock";
inline constexpr char State[] = "Veltora.state";

// A slot's work file: the template's name + "$$" + the slot number.
inline QString workFile(const QString& templateName, int slotIndex)
{
    return templateName + QStringLiteral("$$") + QString::number(slotIndex);
}

} // namespace FileNames
