#pragma once

#include <QString>

// The parser takes any text after a marker; the lookup publishes only what is really an address.
namespace AddressCheck {

// True for a well-formed IPv4 (dotted decimal) or IPv6 address that can be a host's address on the
// Internet side: not unspecified (0.0.0.0, ::) and not loopback (127.0.0.0/8, ::1).
bool isUsableAddress(const QString& text);

// The usable address at the start of text, as it stands there; empty when text does not start with one.
// A sentence's full stop after an IPv4 address is not part of it; a letter or digit glued to it spoils it.
QString leadingAddress(const QString& text);

} // namespace AddressCheck
