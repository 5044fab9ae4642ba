#include "temperature_course.h"

#include <QtMath>

#include <cmath>

namespace sim {

namespace {

// SplitMix64's finaliser: every input bit affects every output bit, so
// neighbouring positions and seconds get unrelated noise.
quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in -span..span, fixed for one sensor within one simulated second.
int noiseHundredths(quint32 seed, int channel, int position, double seconds, int span)
{
    if (span <= 0)
        return 0;
    const quint64 sensor = quint64(seed) << 32 | quint64(channel) << 16 | quint64(position);
    const quint64 second = quint64(qint64(std::floor(seconds)));
    const quint64 h = mix(mix(sensor) ^ second);
    return int(h % quint64(2 * span + 1)) - span;
}

} // namespace

int TemperatureCourse::hundredthsAt(int channel, int position, int setHundredths, double seconds) const
{
    double degrees = setHundredths / 100.0;
    if (swingDegrees != 0) {
        const double phase =
            channel >= 1 && channel <= protocol::MaxChannelsPerModule ? phaseHours[size_t(channel - 1)] : 0;
        const double turns = seconds / DaySeconds - phase / 24;
        degrees += swingDegrees * std::sin(2 * M_PI * turns);
    }
    for (const HotSpot& spot : hotSpots) {
        if (spot.channel == channel && spot.position == position && seconds > spot.delaySeconds)
            degrees += spot.degreesPerHour * (seconds - spot.delaySeconds) / 3600;
    }
    // Bounded before the conversion to int, so a hot spot left rising for
    // years cannot overflow; the noise then stays inside the range too.
    const double smooth =
        qBound(double(LowestHundredths), std::round(degrees * 100), double(HighestHundredths));
    const int span = int(std::lround(noiseDegrees * 100));
    const int value =
        qBound(LowestHundredths, int(smooth) + noiseHundredths(seed, channel, position, seconds, span),
               HighestHundredths);
    return value == -1 ? 0 : value;
}

} // namespace sim
