#pragma once
// A line reached over the network instead of a serial port on this computer:
//   tcp://HOST:PORT   the line's frames as they are (a serial device server)
//   mbap://HOST:PORT  a Modbus TCP gateway (each frame behind an MBAP header)

#include <QString>
#include <optional>

namespace port {

struct LineAddress
{
    enum Framing { RawTcp, Mbap };
    Framing framing = RawTcp;
    QString host;
    quint16 port = 0;

    // "tcp://127.0.0.1:7001"
    QString text() const;
    // "TCP" or "MBAP": what goes on the wire, for records and logs.
    QString framingName() const;
};

// Whether `text` is meant as a network address ("scheme://..."), well-formed or not.
bool looksLikeLineAddress(const QString& text);

// `text` as an address (scheme in any case, blanks around it ignored; an IPv6
// host in brackets). Empty with `error` saying what is wrong when it is not one.
std::optional<LineAddress> parseLineAddress(const QString& text, QString* error);

} // namespace port
