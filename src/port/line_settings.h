#pragma once
// The port's line settings text: the baud rate and the fixed 8N1 line format.

#include <QString>
#include <optional>

namespace port {

// "9600,N,8,1".
QString lineSettingsText(int baud);
// The baud rate of a line settings text; nullopt unless it reads "<baud>,N,8,1"
// with a baud rate above 0.
std::optional<int> baudFromSettings(const QString& settings);

} // namespace port
