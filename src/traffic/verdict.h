#pragma once
// What a frame on the line was, and what the program made of it.

#include "protocol/reply_judge.h"

#include <QString>

namespace traffic {

enum class Direction {
    Out, // a request written
    In,  // bytes taken as a reply
};

// "发送", "接收".
QString directionText(Direction direction);

enum class Verdict {
    Sent,     // a request written, with no verdict on it
    NoReply,  // a request whose reply never came
    Unjudged, // a reply that nothing judged
    Decoded,  // a reply read as it should be
    CrcError, // bytes that fail their CRC or hold no whole reply
    Mismatch, // an intact reply to some other request
    Refused,  // the module's exception reply
    CutShort, // a reply that stopped before its end, used as far as it went
    Cancelled, // a request whose wait ended when the port closed
};

// The text of each verdict, as the record shows it.
QString verdictText(Verdict verdict);

// The verdict the request core's judgment of a reply amounts to.
Verdict verdictOf(protocol::ReplyStatus status);

} // namespace traffic
