#include "mbap.h"

#include "crc16.h"

namespace protocol {

namespace {
quint16 bigEndian16(const QByteArray& bytes, int at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

void appendBigEndian16(QByteArray& bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}
} // namespace

QByteArray mbapFromRtu(const QByteArray& frame, quint16 transactionId)
{
    // Station, function code, CRC at the least.
    if (frame.size() < 4)
        return {};
    const QByteArray unitAndPdu = frame.left(frame.size() - 2);
    QByteArray out;
    out.reserve(6 + unitAndPdu.size());
    appendBigEndian16(out, transactionId);
    appendBigEndian16(out, 0);
    appendBigEndian16(out, quint16(unitAndPdu.size()));
    out += unitAndPdu;
    return out;
}

MbapTake takeMbapFrame(const QByteArray& stream)
{
    MbapTake take;
    if (stream.size() < 6)
        return take;
    const quint16 protocolId = bigEndian16(stream, 2);
    const quint16 length = bigEndian16(stream, 4);
    // A length below 2 leaves no room for a function code.
    if (protocolId != 0 || length < 2 || length > kMbapMaxLength) {
        take.status = MbapTake::Broken;
        take.used = stream.size();
        return take;
    }
    if (stream.size() < 6 + length)
        return take;
    take.status = MbapTake::Frame;
    take.used = 6 + length;
    take.transactionId = bigEndian16(stream, 0);
    take.rtu = appendCrc(stream.mid(6, length));
    return take;
}

QByteArray MbapClient::request(const QByteArray& frame)
{
    const quint16 id = m_nextId;
    const QByteArray out = mbapFromRtu(frame, id);
    if (out.isEmpty())
        return out;
    m_nextId = quint16(m_nextId + 1);
    m_awaitedId = id;
    m_awaiting = true;
    return out;
}

QList<QByteArray> MbapClient::takeReplies(const QByteArray& bytes)
{
    m_stream += bytes;
    QList<QByteArray> replies;
    for (;;) {
        const MbapTake take = takeMbapFrame(m_stream);
        if (take.status == MbapTake::NeedMore)
            break;
        m_stream.remove(0, take.used);
        if (take.status == MbapTake::Frame && m_awaiting && take.transactionId == m_awaitedId) {
            m_awaiting = false;
            replies.append(take.rtu);
        } else {
            ++m_dropped;
        }
    }
    return replies;
}

void MbapClient::reset()
{
    m_stream.clear();
    m_awaiting = false;
}

} // namespace protocol
