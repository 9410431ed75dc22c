#pragma once

#include <QString>

// Root ignores permission bits, so a case about a read-only file or folder proves nothing when the suite runs
// as root (as it does in CI). Such a case calls this first: as root it runs the same case again in a copy of
// the test program as the unprivileged user nobody (setpriv) and reports that run's outcome; the caller then
// checks the result and returns. Not as root, it runs nothing.
struct UnprivilegedRun
{
    bool handedOver = false; // the case ran in the child; the caller returns after checking `failure`
    QString failure;         // empty when the child passed the case
};

UnprivilegedRun runCurrentCaseUnprivileged();
