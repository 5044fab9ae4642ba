#include "baud_codes.h"

#include <array>

namespace protocol {

namespace {

struct BaudCode
{
    int code;
    int rate;
};

constexpr std::array<BaudCode, 4> BaudCodes{{{1, 4800}, {2, 9600}, {3, 14400}, {4, 19200}}};

} // namespace

int baudRateForCode(int code)
{
    for (const BaudCode& entry : BaudCodes) {
        if (entry.code == code)
            return entry.rate;
    }
    return 0;
}

int baudCodeForRate(int rate)
{
    for (const BaudCode& entry : BaudCodes) {
        if (entry.rate == rate)
            return entry.code;
    }
    return 0;
}

int lowestBaudCode()
{
    return BaudCodes.front().code;
}

int highestBaudCode()
{
    return BaudCodes.back().code;
}

} // namespace protocol
