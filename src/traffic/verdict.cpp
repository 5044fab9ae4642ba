#include "verdict.h"

#include "protocol/reply_notes.h"

namespace traffic {

QString directionText(Direction direction)
{
    return direction == Direction::Out ? QStringLiteral("发送") : QStringLiteral("接收");
}

QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Sent:
        return QStringLiteral("已发送");
    case Verdict::NoReply:
        return QStringLiteral("无应答");
    case Verdict::Unjudged:
        return QStringLiteral("未判定");
    case Verdict::Decoded:
        return QStringLiteral("已解析");
    case Verdict::CrcError:
        return protocol::crcErrorNote().trimmed();
    case Verdict::Mismatch:
        return protocol::replyMismatchNote().trimmed();
    case Verdict::Refused:
        return QStringLiteral("模块异常响应");
    case Verdict::CutShort:
        return QStringLiteral("应答不完整");
    case Verdict::Cancelled:
        return QStringLiteral("已取消");
    }
    return QString();
}

Verdict verdictOf(protocol::ReplyStatus status)
{
    switch (status) {
    case protocol::ReplyStatus::Usable:
        return Verdict::Decoded;
    case protocol::ReplyStatus::CutShort:
        return Verdict::CutShort;
    case protocol::ReplyStatus::NoReply:
        return Verdict::NoReply;
    case protocol::ReplyStatus::CrcError:
        return Verdict::CrcError;
    case protocol::ReplyStatus::Mismatch:
        return Verdict::Mismatch;
    case protocol::ReplyStatus::Exception:
        return Verdict::Refused;
    }
    return Verdict::Unjudged;
}

} // namespace traffic
