#pragma once
// What a verdict of protocol::judgeReply promises about the bytes it judged,
// checked for any bytes and any request's shape.

#include "fuzz_input.h"

#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/reply_judge.h"

namespace fuzz {

inline bool stationAnswers(quint8 station, const protocol::ReplyShape& shape)
{
    return shape.station == protocol::WildcardStation || station == shape.station ||
           int(station) == shape.otherStation;
}

// Where the verdict's bytes may stand in what was received.
inline bool standsIn(const QByteArray& bytes, const QByteArray& received)
{
    return received.contains(bytes);
}

inline void checkJudgedReply(const protocol::JudgedReply& judged, const QByteArray& received,
                             const protocol::ReplyShape& shape)
{
    using protocol::ReplyStatus;
    const QByteArray& bytes = judged.bytes;
    FUZZ_CHECK((judged.status == ReplyStatus::NoReply) == received.isEmpty());
    switch (judged.status) {
    case ReplyStatus::NoReply:
        FUZZ_CHECK(bytes.isEmpty());
        break;
    case ReplyStatus::Usable:
        // One whole frame with a valid CRC that answers the request.
        FUZZ_CHECK(protocol::hasValidCrc(bytes) && standsIn(bytes, received));
        FUZZ_CHECK(shape.length > 0 ? bytes.size() == shape.length : bytes.size() >= shape.shortestLength);
        FUZZ_CHECK(stationAnswers(quint8(bytes.at(0)), shape) && quint8(bytes.at(1)) == shape.function);
        FUZZ_CHECK(shape.byteCount < 0 || quint8(bytes.at(2)) == shape.byteCount);
        FUZZ_CHECK(protocol::replyComplete(received, shape));
        break;
    case ReplyStatus::Exception:
        FUZZ_CHECK(bytes.size() == protocol::ExceptionReplyLength && protocol::hasValidCrc(bytes));
        FUZZ_CHECK(quint8(bytes.at(1)) == quint8(shape.function | 0x80) && judged.exceptionCode == quint8(bytes.at(2)));
        FUZZ_CHECK(stationAnswers(quint8(bytes.at(0)), shape) && standsIn(bytes, received));
        FUZZ_CHECK(protocol::replyComplete(received, shape));
        break;
    case ReplyStatus::CutShort:
        // A reply's start, to the end of what came.
        FUZZ_CHECK(!bytes.isEmpty() && received.endsWith(bytes) && standsIn(bytes, received));
        FUZZ_CHECK(shape.length == 0 || bytes.size() < shape.length);
        FUZZ_CHECK(stationAnswers(quint8(bytes.at(0)), shape));
        break;
    case ReplyStatus::Mismatch:
    case ReplyStatus::CrcError:
        FUZZ_CHECK(bytes == received);
        break;
    }
}

} // namespace fuzz
