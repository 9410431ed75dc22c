#pragma once

#include <QByteArray>
#include <QString>

// A file's bytes, or "<missing>" when it cannot be read, so that a comparison shows what went wrong.
QByteArray fileBytes(const QString& path);

// Writes bytes as the whole file; false when that failed.
bool writeFile(const QString& path, const QByteArray& bytes);

// CPU time (user + system) this process has used so far, in seconds.
double processCpuSeconds();
