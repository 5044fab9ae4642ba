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
    }
    return QString();
}

Verdict verdictOfNote(const QString& note)
{
    if (note == protocol::crcErrorNote())
        return Verdict::CrcError;
    if (note == protocol::replyMismatchNote())
        return Verdict::Mismatch;
    return Verdict::Refused;
}

} // namespace traffic
