#pragma once
// The serial settings: port number and baud rate, kept between runs in
// "comm.set" in the program's folder.

#include "settings_file.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace config {

// What the window starts with when "comm.set" cannot be used: "COM4", 9600 baud.
constexpr int kDefaultCommPort = 4;
constexpr int kDefaultBaudRate = 9600;

// One line: port, comma, baud, CR LF ("4,9600\r\n").
QByteArray formatCommSet(int port, int baud);

struct CommSetValues
{
    int port = kDefaultCommPort;
    int baud = kDefaultBaudRate;
};

// The first two fields of the file's text, each a signed 16-bit whole number
// (readInt16Fields); whatever follows them is not read.
std::optional<CommSetValues> parseCommSet(const QByteArray& text);

struct CommSetLoad : SettingsLoad
{
    int port = kDefaultCommPort; // the defaults unless status is Ok
    int baud = kDefaultBaudRate;
};

// Loads "comm.set" from `folder`.
CommSetLoad loadCommSet(const QString& folder);
// Replaces the whole file; false if it cannot be written.
bool saveCommSet(const QString& folder, int port, int baud);

} // namespace config
