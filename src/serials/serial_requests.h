#pragma once
// The four serial-number requests as the request core takes them: frame, how
// the reply must look (each is used only whole, with a valid CRC, from the
// station asked and with the request's function), and the context it is read with.

#include "serial_numbers.h"

#include "requests/request.h"

namespace serials {

// Read the list of `count` serial numbers of `channel` (kind 3): the reply's
// 8 × count + 5 bytes.
requests::Request readListRequest(quint8 station, quint8 channel, quint8 count);

// Let the module search `channelCount` channels from `firstChannel` (kind 10):
// nine bytes go out, the echo shows eight; the reply is channelCount + 5 bytes.
requests::Request searchRequest(quint8 station, quint8 firstChannel, quint8 channelCount);

// Read in the sensor on `channel` and store it at `position` (kind 2): the
// module answers with 13 bytes.
requests::Request readInRequest(quint8 station, quint8 channel, quint8 position);

// Write `serial` at `position` of `channel` (kind 6): the module answers with
// 14 bytes. The serial number written stays in the request's frame
// (offsets 5 .. 12), so the reply can be compared with it.
requests::Request writeRequest(quint8 station, quint8 channel, quint8 position, const SerialNumber& serial);

// The serial number a write request carries.
SerialNumber serialWritten(const requests::Request& request);

} // namespace serials
