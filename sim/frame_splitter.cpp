#include "frame_splitter.h"

#include "protocol/crc16.h"
#include "protocol/frames.h"

namespace sim {

int FrameSplitter::requestSize(const QByteArray& start)
{
    if (start.size() < 3)
        return 0;
    const quint8 fn = quint8(start.at(1));
    const quint8 sub = quint8(start.at(2));
    if (fn == protocol::FunctionSerials && sub == protocol::SubWriteSerial)
        return 15;
    if (fn == protocol::FunctionWrite && sub == protocol::SubSearch)
        return 9;
    return 8;
}

QList<QByteArray> FrameSplitter::push(const QByteArray& bytes, qint64 nowMicros)
{
    if (!m_buffer.isEmpty() && nowMicros - m_lastByteMicros > m_gapMicros)
        discard(int(m_buffer.size()));
    if (m_skipSearchPad && nowMicros - m_lastByteMicros > m_gapMicros)
        m_skipSearchPad = false;
    m_lastByteMicros = nowMicros;
    m_buffer += bytes;

    QList<QByteArray> frames;
    if (m_skipSearchPad && !m_buffer.isEmpty()) {
        // The 0x00 that trails a search request arrived after the frame was taken.
        m_skipSearchPad = false;
        if (m_buffer.at(0) == '\0')
            m_buffer.remove(0, 1);
    }
    while (!m_buffer.isEmpty()) {
        // Any station byte may start a request: one to station 0, which no module
        // answers, is still a request the program sent, and the CRC tells frames
        // from noise.
        const int size = requestSize(m_buffer);
        const int checked = size == 9 ? 8 : size; // the search's CRC sits before its pad byte
        if (size == 0 || m_buffer.size() < checked)
            break;
        if (!protocol::hasValidCrc(m_buffer.left(checked))) {
            discard(1);
            continue;
        }
        int taken = checked;
        if (size == 9) {
            if (m_buffer.size() > 8 && m_buffer.at(8) == '\0')
                taken = 9;
            else if (m_buffer.size() == 8)
                m_skipSearchPad = true;
        }
        frames.append(m_buffer.left(taken));
        m_buffer.remove(0, taken);
    }
    return frames;
}

QByteArray FrameSplitter::takeDiscarded()
{
    QByteArray bytes;
    bytes.swap(m_discarded);
    return bytes;
}

void FrameSplitter::clear()
{
    m_buffer.clear();
    m_discarded.clear();
    m_skipSearchPad = false;
}

void FrameSplitter::discard(int count)
{
    m_discarded += m_buffer.left(count);
    m_buffer.remove(0, count);
}

} // namespace sim
