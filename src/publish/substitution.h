#pragma once

#include "platform/code_page.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// One marker of a template and the bytes that replace it, both already in the engine's code page.
struct MarkerReplacement
{
    QByteArray marker;
    QByteArray text;
};

// Appends `line` to `out` with each replacement applied in turn to the result of the previous one: every
// occurrence of the marker that starts at a character boundary of `page`, left to right, without rescanning
// the replaced text. An empty marker changes nothing; bytes outside the markers pass through unchanged.
void substituteLine(QByteArrayView line, const QList<MarkerReplacement>& replacements, const CodePage& page,
                    QByteArray& out);

// Copies the text of `in` to `out` line by line, substituting each line. A line ends at CR or CR LF (a lone
// LF stays inside the line); every line written ends with CR LF. Memory stays bounded by the longest line.
// False with `error` set on a read or write error.
bool substituteStream(QIODevice& in, QIODevice& out, const QList<MarkerReplacement>& replacements, const CodePage& page,
                      QString* error = nullptr);
