#include "line_timing.h"

namespace protocol {

namespace {

constexpr qint64 BitsPerByte = 10;

qint64 effectiveBaud(int baud)
{
    return baud > 0 ? baud : 9600;
}

// Time of `bits` at `baud` in units of 1/unitsPerSecond, rounded up.
qint64 bitTime(qint64 bits, qint64 unitsPerSecond, int baud)
{
    const qint64 rate = effectiveBaud(baud);
    return (bits * unitsPerSecond + rate - 1) / rate;
}

} // namespace

qint64 lineTimeUs(int bytes, int baud)
{
    return bytes <= 0 ? 0 : bitTime(BitsPerByte * bytes, 1000000, baud);
}

int lineTimeMs(int bytes, int baud)
{
    return bytes <= 0 ? 0 : int(bitTime(BitsPerByte * bytes, 1000, baud));
}

qint64 interFrameGapUs(int baud)
{
    return bitTime(BitsPerByte * 7 / 2, 1000000, baud); // 3.5 characters
}

qint64 bytesCarriedInUs(qint64 us, int baud)
{
    return us <= 0 ? 0 : us * effectiveBaud(baud) / (BitsPerByte * 1000000);
}

} // namespace protocol
