#pragma once

#include "settings/settings_model.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// What the one-shot mode carries from one invocation to the next, so that "on change" means what it means in
// the resident program: the address label's last text (the address, or the failure word of a failed check)
// and, per slot, whether its last on-change upload succeeded. Kept in FileNames::State beside the settings,
// replaced whole after each run. A missing, unreadable or damaged file counts as the first run: every
// on-change slot is then due, which may upload once too often but never misses a change.
struct OnceState
{
    QString lastAddress = QStringLiteral("未取得"); // the label's caption at start-up
    QString lastAddress6; // the IPv6 address's caption; empty while IPv6 has never been looked up
    std::array<bool, SlotCount> changeSent{};

    bool operator==(const OnceState&) const = default;
};

// How much of a state file is read at most; a real one is under 100 bytes.
inline constexpr qint64 MaxStateFileSize = 4096;

// The file's bytes: a first line naming the format, then "ADDRESS=" with the percent-encoded UTF-8 text and
// "SENT=" with one 0 or 1 per slot, each line LF ended. With an IPv6 caption the format is 2 and "ADDRESS6="
// stands after "ADDRESS="; without one the file is written in format 1, as before IPv6 was known.
QByteArray formatState(const OnceState& state);

// The state the bytes hold, or none when they are not a state file of this format.
std::optional<OnceState> readState(QByteArrayView bytes);

// The state file of the current folder: none when it is missing, unreadable, too big or damaged.
std::optional<OnceState> loadState();

// Writes the state file whole (written aside, then renamed over); false when it could not be written.
bool saveState(const OnceState& state);
