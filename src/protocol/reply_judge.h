#pragma once
// One rule for every reply: before any byte of a reply is used, it is judged
// against the request it answers (whole frame, CRC, station, function, and the
// length or byte count where the request fixes them). The verdict is a value;
// what the operator reads for it is reply_notes.h's.

#include <QByteArray>

namespace protocol {

// What a request expects of its reply.
struct ReplyShape
{
    quint8 station = 0;    // the station asked; WildcardStation: any station answers
    int otherStation = -1; // one more station that may answer (a changed address answers from the new one)
    quint8 function = 0;
    // Bytes of the whole reply. 0: the request does not fix it; the reply ends
    // where its CRC holds, and is at least `shortestLength` bytes.
    int length = 0;
    int shortestLength = 6;
    int byteCount = -1; // byte 2 where the request fixes it (a temperature reply's 2n); -1: not examined
};

enum class ReplyStatus {
    Usable,    // one whole frame with a valid CRC that answers the request
    CutShort,  // the start of such a reply whose end did not come
    NoReply,   // no byte came
    CrcError,  // bytes that hold no whole frame with a valid CRC
    Mismatch,  // an intact frame that answers some other request (station, function, length)
    Exception, // the module refused the request: its function code + 0x80 and an exception code
};

struct JudgedReply
{
    ReplyStatus status = ReplyStatus::NoReply;
    // Usable, CutShort, Exception: the reply from its first byte on; otherwise every byte received.
    QByteArray bytes;
    quint8 exceptionCode = 0;
    // Usable, CutShort, Exception: the bytes before the reply's first one (the
    // tail of an earlier reply, zeros or noise on the line), which were skipped.
    int skipped = 0;
};

// A reply that must not be used: shown with what is wrong after its dump.
bool isFlagged(ReplyStatus status);

constexpr int ExceptionReplyLength = 5; // station, function + 0x80, code, CRC

// Whether `received` holds all that can come for the request: a whole reply
// (at its full length, whether or not its CRC holds) or the module's exception
// reply. Further bytes would not change the verdict.
bool replyComplete(const QByteArray& received, const ReplyShape& shape);

// The verdict on the bytes received for a request of `shape`. The reply may
// start anywhere among them: bytes before a reply's start are skipped.
JudgedReply judgeReply(const QByteArray& received, const ReplyShape& shape);

// How many of the bytes received after `request` went out are the request's
// own bytes, handed back by an adapter that hears its own sending: the whole
// request when they start with it; all of them while they are the start of it
// (what follows is not known yet); 0 when they are no echo of it.
qsizetype echoedRequestLength(const QByteArray& received, const QByteArray& request);

} // namespace protocol
