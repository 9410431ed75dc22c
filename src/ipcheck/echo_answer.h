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

enum class Family { Any, Ipv4, Ipv6 };

// The first usable address of the family that a line of the answer yields through Cut_IP_address or
// Cut_IPv6_address, or the whole answer when it is a bare address; empty when there is none. A byte-order mark
// before the answer is skipped. An IPv4 address spelt the IPv6 way (::ffff:192.0.2.1) is no IPv6 address.
QString address(const QByteArray& file, const CodePage& codePage, Family family = Family::Any);

} // namespace EchoAnswer
