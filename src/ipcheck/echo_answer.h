#pragma once

#include "platform/code_page.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reading the address out of an echo page's answer: a pure function of the bytes, so that the lookup and the
// fuzz target run the same code.
namespace EchoAnswer {

// The answer's lines: a line ends at CR or CR LF; a lone LF stays inside its line.
QList<QByteArray> lines(const QByteArray& bytes);

// The first usable address that a line of the answer yields through Cut_IP_address, or the whole answer when
// it is a bare address; empty when there is none. A byte-order mark before the answer is skipped.
QString address(const QByteArray& file, const CodePage& codePage);

} // namespace EchoAnswer
