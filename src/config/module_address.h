#pragma once
// The module's own configuration: reading and changing its station address and
// changing its baud rate, as requests, the checks on their boxes, and what a
// reply tells.

#include "requests/request.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace config {

// The station address a module can have; 250 (0xFA) is the wildcard every module answers.
inline constexpr int MinStation = 1;
inline constexpr int MaxStation = 249;

// Each request's reply is used only as one frame with a valid CRC from the
// station asked (any for the wildcard address) with the request's function: a
// read address's 7 bytes; a change's reply ends where its CRC holds.

// Read the address through the wildcard address (kind 16).
requests::Request readAddressRequest();
// Change the address of the module at `present` to `changed` (kind 15).
requests::Request changeAddressRequest(quint8 present, quint8 changed);
// Change the baud code of every module on the line from `presentCode` to `newCode` (kind 16).
requests::Request changeBaudRequest(quint8 presentCode, quint8 newCode);

// The station address a reply reports: byte 3, when byte 1 is the function the
// request kind expects (0x25 for kind 16, 0x06 for kind 15) and the address is
// one a module can have. nullopt for anything else, a reply too short included.
std::optional<int> addressInReply(const QByteArray& reply, int kind);

// The new baud code a change-baud request asks for (its byte 5); nullopt for any other request.
std::optional<int> baudCodeChangedBy(const requests::Request& request);

// The boxes. A box holds a number that must fit its range: addresses floored,
// baud codes to the nearest whole number (a half to the even neighbour). The
// present address may be the wildcard; a new address must be one a module can
// have, and a new baud code one of the table, since the request goes to every
// module on the line and a bad value could leave them unreachable.
struct BoxValue
{
    std::optional<quint8> value;
    QString message; // names the box when value is not set
};
BoxValue presentAddressBox(const QString& text);
BoxValue newAddressBox(const QString& text);
BoxValue presentBaudCodeBox(const QString& text, const QString& caption);
BoxValue newBaudCodeBox(const QString& text, const QString& caption);

} // namespace config
