#pragma once
// Numbers typed into boxes: parsing and the three ways the program brings them
// to whole numbers, with range checks that name the field when they fail.

#include <QString>
#include <optional>

namespace protocol {

// The whole text as a decimal number, blanks around it allowed; nullopt when
// it is empty or not a number.
std::optional<double> parseDecimal(const QString& text);

enum class Rounding {
    CutOff,     // toward zero (3.7 -> 3, -0.5 -> 0)
    Floor,      // down (3.7 -> 3, -0.5 -> -1)
    HalfToEven, // nearest, a half to the even neighbour (2.5 -> 2, 3.5 -> 4)
};

// The text brought to a whole number in [minimum, maximum], or nullopt.
std::optional<int> wholeNumber(const QString& text, Rounding rounding, int minimum, int maximum);
inline std::optional<int> byteValue(const QString& text, Rounding rounding)
{
    return wholeNumber(text, rounding, 0, 255);
}

// "<caption>：请输入<minimum>～<maximum>之间的整数"; the caption loses a trailing colon and
// the blanks used to space it out ("功 能 码" reads "功能码").
QString rangeMessage(const QString& caption, int minimum, int maximum);

} // namespace protocol
