#pragma once
// What the status text says after the dump of bytes that are not used as a reply.

#include <QString>

namespace protocol {

QString crcErrorNote();      // " CRC校验错误": the bytes fail their CRC or hold no whole reply
QString replyMismatchNote(); // " 应答与请求不符": an intact frame that answers some other request

// The module's exception reply: what its code means (the standard codes 1 to 4)
// and the code in hex, " 模块异常响应：非法功能码(异常码01)".
QString refusedReplyNote(quint8 exceptionCode);

} // namespace protocol
