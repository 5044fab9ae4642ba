#include "reply_notes.h"

#include "hex_text.h"

namespace protocol {

QString crcErrorNote()
{
    return QStringLiteral(" CRC校验错误");
}

QString replyMismatchNote()
{
    return QStringLiteral(" 应答与请求不符");
}

QString exceptionNote(quint8 exceptionCode)
{
    return QStringLiteral(" 模块拒绝请求，异常码 %1").arg(FormatHex(exceptionCode));
}

QString replyNote(const JudgedReply& reply)
{
    switch (reply.status) {
    case ReplyStatus::CrcError:
        return crcErrorNote();
    case ReplyStatus::Mismatch:
        return replyMismatchNote();
    case ReplyStatus::Exception:
        return exceptionNote(reply.exceptionCode);
    case ReplyStatus::Usable:
    case ReplyStatus::CutShort:
    case ReplyStatus::NoReply:
        break;
    }
    return QString();
}

} // namespace protocol
