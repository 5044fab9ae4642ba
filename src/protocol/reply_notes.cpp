#include "reply_notes.h"

#include "crc16.h"
#include "frames.h"
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

QString refusedReplyNote(quint8 exceptionCode)
{
    static const char* const meanings[] = {"非法功能码", "非法数据地址", "非法数据值", "设备故障"};
    const QString meaning = exceptionCode >= 1 && exceptionCode <= 4
                                ? QString::fromUtf8(meanings[exceptionCode - 1])
                                : QStringLiteral("未知错误");
    return QStringLiteral(" 模块异常响应：%1(异常码%2)").arg(meaning, FormatHex(exceptionCode));
}

namespace {

bool answers(const QByteArray& frame, int station, quint8 function)
{
    return frame.size() >= 2 && (station == WildcardStation || quint8(frame.at(0)) == station) &&
           quint8(frame.at(1)) == function;
}

} // namespace

ReplyVerdict judgeWholeReply(const QByteArray& reply, qsizetype length, int station, quint8 function)
{
    const QByteArray whole = reply.left(length);
    const bool intact = whole.size() == length && hasValidCrc(whole);
    if (intact) {
        if (answers(whole, station, function))
            return {true, {}};
        return {false, replyMismatchNote()};
    }
    // No whole frame of the length asked for: an intact frame of another length
    // still answers some other request.
    if (hasValidCrc(reply) && !answers(reply, station, function))
        return {false, replyMismatchNote()};
    return {false, crcErrorNote()};
}

} // namespace protocol
