#include "box_number.h"

#include <cmath>

namespace protocol {

std::optional<double> parseDecimal(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // Plain decimal only: digits, one point, an optional sign. No exponent, no hex, no locale.
    int digitsSeen = 0;
    bool pointSeen = false;
    for (int i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c.isDigit() && c.unicode() < 128)
            ++digitsSeen;
        else if (c == QLatin1Char('.') && !pointSeen)
            pointSeen = true;
        else if ((c == QLatin1Char('-') || c == QLatin1Char('+')) && i == 0)
            continue;
        else
            return std::nullopt;
    }
    if (digitsSeen == 0)
        return std::nullopt;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> wholeNumber(const QString& text, Rounding rounding, int minimum, int maximum)
{
    const std::optional<double> value = parseDecimal(text);
    if (!value)
        return std::nullopt;
    double whole = 0;
    switch (rounding) {
    case Rounding::CutOff:
        whole = std::trunc(*value);
        break;
    case Rounding::Floor:
        whole = std::floor(*value);
        break;
    case Rounding::HalfToEven:
        whole = std::nearbyint(*value); // default rounding mode is to nearest, ties to even
        break;
    }
    if (whole < minimum || whole > maximum)
        return std::nullopt;
    return int(whole);
}

QString rangeMessage(const QString& caption, int minimum, int maximum)
{
    QString name = caption;
    name.remove(QLatin1Char(' '));
    while (name.endsWith(QStringLiteral("：")) || name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return QStringLiteral("%1：请输入%2～%3之间的整数").arg(name).arg(minimum).arg(maximum);
}

} // namespace protocol
