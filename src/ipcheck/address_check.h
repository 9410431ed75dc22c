#pragma once

#include <QString>

// The parser takes any text after a marker; the lookup publishes only what is really an address.
namespace AddressCheck {

// True when the whole text, and nothing else, is a well-formed IPv4 (dotted decimal) or IPv6 address that can
// be a host's address on the Internet side: not unspecified (0.0.0.0, ::) and not loopback (127.0.0.0/8, ::1),
// also not in their IPv4-mapped or -compatible spellings (::ffff:127.0.0.1, ::127.0.0.1, ::ffff:0.0.0.0).
bool isUsableAddress(const QString& text);

// The usable address at the start of text, as it stands there; empty when text does not start with one.
// A sentence's full stop after an IPv4 address is not part of it; a letter or digit glued to it spoils it, and a
// control character (a NUL) anywhere in text spoils the whole.
QString leadingAddress(const QString& text);

} // namespace AddressCheck
