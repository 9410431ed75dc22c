#include "test_timeouts.h"

#include <QtGlobal>

int testTimeoutFactor()
{
    static const int factor = [] {
        bool ok = false;
        const int value = qEnvironmentVariableIntValue("VELTORA_TEST_TIMEOUT_FACTOR", &ok);
        return ok && value > 0 ? value : 1;
    }();
    return factor;
}
