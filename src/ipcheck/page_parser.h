#pragma once

#include <QString>

// The address after one of the known echo-page markers in one line of page text, upper-cased and stripped
// of leftover markup; empty when the line yields nothing. A line may be as long as the answer (minified pages
// put everything on one), and the marker may stand anywhere in it.
QString Cut_IP_address(const QString& strIP);

// The IPv6 address after the same marker (the one Cut_IP_address picks), as the text goes on there: blanks,
// "=", "," and markup tags before it are skipped. Lower case; empty when no IPv6 address follows the marker.
// The IPv4 window is too short for an IPv6 address and its clean-up drops the colons, hence a reading of its own.
QString Cut_IPv6_address(const QString& strIP);
