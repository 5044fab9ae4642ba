// Numbers typed into boxes: the decimal parser and the three roundings to a
// whole number within a range. Input: the box's text in UTF-8.

#include "fuzz_input.h"

#include "protocol/box_number.h"

#include <cmath>
#include <limits>

using protocol::Rounding;

namespace {

bool plainDecimalCharacters(const QString& text)
{
    for (const QChar c : text) {
        if (!(c >= u'0' && c <= u'9') && c != u'.' && c != u'+' && c != u'-')
            return false;
    }
    return true;
}

void checkWhole(const QString& text, const std::optional<double>& number, Rounding rounding, int minimum,
                int maximum)
{
    const std::optional<int> whole = protocol::wholeNumber(text, rounding, minimum, maximum);
    if (!whole)
        return;
    FUZZ_CHECK(number.has_value());
    FUZZ_CHECK(*whole >= minimum && *whole <= maximum);
    // Compared without subtracting, which would round a tiny fraction away.
    const double value = *number;
    const double integral = *whole;
    switch (rounding) {
    case Rounding::CutOff:
        FUZZ_CHECK(std::fabs(integral) <= std::fabs(value) && std::fabs(value) < std::fabs(integral) + 1);
        break;
    case Rounding::Floor:
        FUZZ_CHECK(integral <= value && value < integral + 1);
        break;
    case Rounding::HalfToEven:
        FUZZ_CHECK(integral - 0.5 <= value && value <= integral + 0.5);
        if (value == integral - 0.5 || value == integral + 0.5)
            FUZZ_CHECK(*whole % 2 == 0);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const QString text = QString::fromUtf8(input.rest());
    const std::optional<double> value = protocol::parseDecimal(text);
    if (value) {
        FUZZ_CHECK(std::isfinite(*value));
        FUZZ_CHECK(plainDecimalCharacters(text.trimmed()));
    }
    // The ranges the boxes use, and the widest an int allows.
    const int ranges[][2] = {{0, 255},
                             {1, 250},
                             {0, 65535},
                             {-32768, 32767},
                             {std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}};
    for (const Rounding rounding : {Rounding::CutOff, Rounding::Floor, Rounding::HalfToEven}) {
        for (const auto& range : ranges)
            checkWhole(text, value, rounding, range[0], range[1]);
    }
    return 0;
}
