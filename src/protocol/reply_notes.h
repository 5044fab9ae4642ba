#pragma once
// What the status text says after the dump of bytes that are not used as a reply.

#include <QByteArray>
#include <QString>

namespace protocol {

QString crcErrorNote();      // " CRC校验错误": the bytes fail their CRC or hold no whole reply
QString replyMismatchNote(); // " 应答与请求不符": an intact frame that answers some other request

// The module's exception reply: what its code means (the standard codes 1 to 4)
// and the code in hex, " 模块异常响应：非法功能码(异常码01)".
QString refusedReplyNote(quint8 exceptionCode);

// Whether the bytes taken for a request hold its reply: one whole frame of
// `length` bytes with a valid CRC, from the request's station (any station when
// it went to the wildcard address) with the request's function code. Otherwise
// `note` says what is wrong: replyMismatchNote() for an intact frame that answers
// another request, crcErrorNote() for anything else.
struct ReplyVerdict
{
    bool usable = false;
    QString note;
};
ReplyVerdict judgeWholeReply(const QByteArray& reply, qsizetype length, int station, quint8 function);

} // namespace protocol
