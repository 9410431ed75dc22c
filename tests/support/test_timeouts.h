#pragma once

#include <chrono>

// How long the tests' waits and time bounds may be: the normal figure times VELTORA_TEST_TIMEOUT_FACTOR
// (1 when unset), which the sanitizer runs raise because instrumented code is several times slower while
// the servers and libcurl's limits keep to the wall clock. Lower bounds (a wait that must last at least so
// long) are never scaled.
int testTimeoutFactor();

inline int scaledMs(int milliseconds)
{
    return milliseconds * testTimeoutFactor();
}

inline std::chrono::milliseconds scaled(std::chrono::milliseconds wait)
{
    return wait * testTimeoutFactor();
}
