#pragma once

#include <QString>

#include <stdexcept>

// Raised when a marker stands beyond the largest position a line may have (32,767 characters): the
// page parser keeps positions in 16 bits and leaves the failure to its caller.
class PositionOverflow : public std::overflow_error
{
public:
    PositionOverflow();
};

// The address after one of the known echo-page markers in one line of page text, upper-cased and stripped
// of leftover markup; empty when the line yields nothing. Throws PositionOverflow (see above).
QString Cut_IP_address(const QString& strIP);
