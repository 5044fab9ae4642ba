#pragma once
// What a frame on the line was, and what the program made of it.

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
};

// The text of each verdict, as the record shows it.
QString verdictText(Verdict verdict);

// The verdict on bytes shown with `note` after their dump (protocol's reply
// notes): a CRC error, a reply to another request, or the module's refusal.
Verdict verdictOfNote(const QString& note);

} // namespace traffic
