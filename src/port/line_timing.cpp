#include "line_timing.h"

namespace port {

namespace {
long long effectiveBaud(int baud)
{
    return baud > 0 ? baud : 9600;
}
} // namespace

int lineTimeMs(int bytes, int baud)
{
    if (bytes <= 0)
        return 0;
    const long long bits = 10LL * bytes * 1000;
    return int((bits + effectiveBaud(baud) - 1) / effectiveBaud(baud));
}

int interFrameGapUs(int baud)
{
    return int((35LL * 1000000 + effectiveBaud(baud) - 1) / effectiveBaud(baud));
}

} // namespace port
