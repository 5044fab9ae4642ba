#pragma once
// The serial settings: port number and baud rate, kept between runs in
// "comm.set" in the program's folder, and the line settings text of the port.

#include <QByteArray>
#include <QString>
#include <optional>

namespace port {

// Program-wide serial settings, 16-bit values (they always fit a qint16).
extern int CommPortNumber;
extern int BaudRate;

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

// Reads the first two fields of the file's text. Each field is a whole number
// that fits a signed 16-bit value; leading blanks are skipped; the fields are
// separated by a comma or a line end (CR LF, CR or LF). Whatever follows the
// second number is not read. nullopt if the text ends early or a field is not
// such a number.
std::optional<CommSetValues> parseCommSet(const QByteArray& text);

struct CommSetLoad
{
    enum Status {
        Ok,
        Missing,    // no file: the defaults, and the file is written on the next save
        Unreadable, // a file that cannot be used: the defaults, and the operator is told
    };
    Status status = Missing;
    int port = kDefaultCommPort;
    int baud = kDefaultBaudRate;
    QString path;
};

QString commSetPath(const QString& folder);
CommSetLoad loadCommSet(const QString& folder);
// Replaces the whole file; false if it cannot be written.
bool saveCommSet(const QString& folder, int port, int baud);

// "9600,N,8,1": the baud rate and the fixed 8N1 line format.
QString lineSettingsText(int baud);
// The baud rate of a line settings text; nullopt unless it reads "<baud>,N,8,1"
// with a baud rate above 0.
std::optional<int> baudFromSettings(const QString& settings);

} // namespace port
