#pragma once
// Modbus TCP framing (the MBAP header): a frame in the line's form (station,
// PDU, CRC) as a gateway takes it, and a gateway's frames back in the line's
// form, so everything past the port sees the same frames on every kind of line.
//
// An MBAP frame: transaction id (2 bytes), protocol id 0 (2), length (2: the
// bytes after it, unit id and PDU), unit id (1; the station), PDU. Big-endian.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace protocol {

constexpr int kMbapHeaderSize = 7;   // up to and with the unit id
constexpr int kMbapMaxLength = 254;  // unit id and the largest PDU (253)

// `frame` (station, PDU, CRC; the CRC is not checked) as an MBAP frame with
// `transactionId`. Empty when it is too short to hold a function code.
QByteArray mbapFromRtu(const QByteArray& frame, quint16 transactionId);

// The first MBAP frame at the start of a stream.
struct MbapTake
{
    enum Status {
        NeedMore, // no whole frame yet
        Frame,    // `rtu` and `transactionId` hold it; `used` bytes are taken
        Broken,   // protocol id not 0 or a length no frame has: nothing after it can be trusted
    };
    Status status = NeedMore;
    qsizetype used = 0;
    quint16 transactionId = 0;
    QByteArray rtu; // unit id, PDU and a CRC computed for them
};
MbapTake takeMbapFrame(const QByteArray& stream);

// The client's side of a gateway connection: numbers each request and gives
// back, in the line's form, only the reply to the request sent last. A reply
// to an earlier request, a second reply and a broken header are dropped and
// counted; after a broken header the rest of the stream is dropped with it.
class MbapClient
{
public:
    // The MBAP frame for `frame`, with the next transaction id; empty when
    // `frame` is too short (nothing is awaited then).
    QByteArray request(const QByteArray& frame);
    // The replies (line form) among `bytes` added to what came before.
    QList<QByteArray> takeReplies(const QByteArray& bytes);
    // Forget what is awaited and any part frame (a new connection).
    void reset();
    // Replies dropped since the client was made.
    int dropped() const { return m_dropped; }

private:
    QByteArray m_stream;
    quint16 m_nextId = 1;
    quint16 m_awaitedId = 0;
    bool m_awaiting = false;
    int m_dropped = 0;
};

} // namespace protocol
