#pragma once
// What the status text says after the dump of a reply that must not be used.

#include "reply_judge.h"

#include <QString>

namespace protocol {

QString crcErrorNote();      // " CRC校验错误": the bytes fail their CRC or hold no whole reply
QString replyMismatchNote(); // " 应答与请求不符": an intact frame that answers another request
// " 模块拒绝请求，异常码 02": the module's exception reply, its code in hex.
QString exceptionNote(quint8 exceptionCode);

// The note for a flagged reply (isFlagged), empty for any other.
QString replyNote(const JudgedReply& reply);

} // namespace protocol
