#pragma once
// Cuts the byte stream arriving at the module into request frames. The size of
// a request follows from its function and sub-function bytes (8; 9 for the
// search; 15 for a serial-number write). A frame whose CRC fails loses its
// first byte and the rest is tried again, and a silence of 3.5 character times
// ends whatever was half received, as on a MODBUS-RTU line.

#include "protocol/line_timing.h"

#include <QByteArray>
#include <QList>

namespace sim {

class FrameSplitter
{
public:
    // Size of the request that starts with these bytes; 0 while fewer than
    // three bytes are known.
    static int requestSize(const QByteArray& start);

    void setSilenceGapMicros(qint64 micros) { m_gapMicros = micros; }
    qint64 silenceGapMicros() const { return m_gapMicros; }

    // Bytes arriving at time `nowMicros` (any monotonic clock); returns the
    // complete frames they finish, in order.
    QList<QByteArray> push(const QByteArray& bytes, qint64 nowMicros);

    QByteArray pending() const { return m_buffer; }
    // Bytes thrown away since the last call.
    QByteArray takeDiscarded();
    void clear();

private:
    void discard(int count);

    QByteArray m_buffer;
    QByteArray m_discarded;
    qint64 m_lastByteMicros = 0;
    qint64 m_gapMicros = protocol::interFrameGapUs(9600);
    bool m_skipSearchPad = false;
};

} // namespace sim
