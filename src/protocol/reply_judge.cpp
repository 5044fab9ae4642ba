#include "reply_judge.h"

#include "crc16.h"
#include "frames.h"

#include <optional>

namespace protocol {

namespace {

bool stationAnswers(char received, const ReplyShape& shape)
{
    const int station = quint8(received);
    return shape.station == WildcardStation || station == shape.station || station == shape.otherStation;
}

// Whether the bytes from `at` on start like the reply's header, as far as they go.
bool headerAt(const QByteArray& bytes, qsizetype at, const ReplyShape& shape)
{
    if (!stationAnswers(bytes.at(at), shape))
        return false;
    if (at + 1 < bytes.size() && quint8(bytes.at(at + 1)) != shape.function)
        return false;
    return shape.byteCount < 0 || at + 2 >= bytes.size() || quint8(bytes.at(at + 2)) == shape.byteCount;
}

bool exceptionAt(const QByteArray& bytes, qsizetype at, const ReplyShape& shape)
{
    if (bytes.size() - at < ExceptionReplyLength)
        return false;
    return stationAnswers(bytes.at(at), shape) && quint8(bytes.at(at + 1)) == quint8(shape.function | 0x80) &&
           hasValidCrc(bytes.mid(at, ExceptionReplyLength));
}

// The shortest frame from `at` on whose CRC holds, at least `shortest` bytes long.
qsizetype crcEndedFrameAt(const QByteArray& bytes, qsizetype at, int shortest)
{
    for (qsizetype size = shortest; at + size <= bytes.size(); ++size) {
        if (hasValidCrc(bytes.mid(at, size)))
            return size;
    }
    return 0;
}

// An intact frame at the start that is no answer: it answers some other request.
bool intactOtherFrame(const QByteArray& received, const ReplyShape& shape)
{
    if (received.size() < ExceptionReplyLength)
        return false;
    if (shape.length == 0)
        return crcEndedFrameAt(received, 0, qMin(shape.shortestLength, ExceptionReplyLength)) > 0;
    return hasValidCrc(received) || (received.size() > shape.length && hasValidCrc(received.left(shape.length)));
}

} // namespace

bool isFlagged(ReplyStatus status)
{
    return status == ReplyStatus::CrcError || status == ReplyStatus::Mismatch || status == ReplyStatus::Exception;
}

JudgedReply judgeReply(const QByteArray& received, const ReplyShape& shape)
{
    if (received.isEmpty())
        return {};
    std::optional<JudgedReply> cutShort; // the first start of a reply whose end has not come
    bool wholeButBroken = false;         // a reply's full length came, with a bad CRC
    for (qsizetype at = 0; at < received.size(); ++at) {
        if (exceptionAt(received, at, shape))
            return {ReplyStatus::Exception, received.mid(at, ExceptionReplyLength), quint8(received.at(at + 2)),
                    int(at)};
        if (!headerAt(received, at, shape))
            continue;
        if (shape.length == 0) {
            if (const qsizetype size = crcEndedFrameAt(received, at, shape.shortestLength))
                return {ReplyStatus::Usable, received.mid(at, size), 0, int(at)};
            if (!cutShort)
                cutShort = JudgedReply{ReplyStatus::CutShort, received.mid(at), 0, int(at)};
            continue;
        }
        if (received.size() - at < shape.length) {
            // The reply still arriving; every later start would be shorter still.
            if (!wholeButBroken)
                return {ReplyStatus::CutShort, received.mid(at), 0, int(at)};
            break;
        }
        const QByteArray candidate = received.mid(at, shape.length);
        if (hasValidCrc(candidate))
            return {ReplyStatus::Usable, candidate, 0, int(at)};
        wholeButBroken = true;
    }
    if (cutShort)
        return *cutShort;
    if (intactOtherFrame(received, shape))
        return {ReplyStatus::Mismatch, received, 0};
    return {ReplyStatus::CrcError, received, 0};
}

bool replyComplete(const QByteArray& received, const ReplyShape& shape)
{
    switch (judgeReply(received, shape).status) {
    case ReplyStatus::Usable:
    case ReplyStatus::Exception:
        return true;
    case ReplyStatus::Mismatch:
        // A frame that answers something else: whole at once where its CRC ends
        // it, else once a reply's length is in.
        return shape.length == 0 || received.size() >= shape.length;
    case ReplyStatus::CrcError:
        // No reply's start among the bytes: once a reply's length is in, noise
        // (or a broken reply) is all that came.
        return shape.length > 0 && received.size() >= shape.length;
    case ReplyStatus::CutShort:
    case ReplyStatus::NoReply:
        break;
    }
    return false;
}

qsizetype echoedRequestLength(const QByteArray& received, const QByteArray& request)
{
    if (request.isEmpty())
        return 0;
    if (received.startsWith(request))
        return request.size();
    return request.startsWith(received) ? received.size() : 0;
}

} // namespace protocol
