#pragma once

#include <QIODevice>
#include <QString>

class QFile;

// The program's files lie in a folder where a symbolic link, a named pipe or a device may stand under one of
// their names. Only regular files are read or written; a file the program writes is never written through a
// symbolic link (whatever the link names would receive our text); and nothing here waits on a pipe or a device.
// Each function returns false when it refuses or fails, with one line naming the file and saying why in `why`.
namespace RegularFile {

enum class Links {
    Follow, // a file the user names (a template) may be a link to a regular file elsewhere
    Refuse, // a file of the program's own is never a link
};

// Opens `name` for reading.
bool openForReading(QFile& file, const QString& name, QString* why, Links links = Links::Follow,
                    QIODevice::OpenMode mode = QIODevice::ReadOnly);

enum class Write { Append, Empty };

// Opens `name` for writing, creating it when it is missing: to append to it, or emptied first.
bool openForWriting(QFile& file, const QString& name, Write how, QString* why);

// Whether `name` may be replaced whole by a file written aside (QSaveFile, which would follow a link): it is
// missing or a regular file.
bool mayReplace(const QString& name, QString* why);

// The name to hand QSaveFile for `name`. QSaveFile makes a relative name absolute through the working folder's
// name as text, which a name that is no text in the locale's encoding (Latin-1 or Shift_JIS bytes) does not
// survive; the folder is then reached through /proc/self/cwd instead.
QString saveFileName(const QString& name);

} // namespace RegularFile
