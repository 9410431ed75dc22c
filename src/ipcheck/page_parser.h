#pragma once

#include <QString>

// The address after one of the known echo-page markers in one line of page text, upper-cased and stripped
// of leftover markup; empty when the line yields nothing. A line may be as long as the answer (minified pages
// put everything on one), and the marker may stand anywhere in it.
QString Cut_IP_address(const QString& strIP);
