#pragma once
// A request as it travels the request core: its frame, what its reply must look
// like, how long it is awaited, and the values its reply must be read with.

#include "protocol/reply_judge.h"

#include <QByteArray>

namespace requests {

// What the reply is read with: the values of the request it answers, kept when
// the request was sent, never what the window's boxes hold when it arrives.
struct Context
{
    int kind = 0; // the CommandMode: which request kind it is
    int station = 0;
    int channel = 0;
    int count = 0;
    int position = 0;
};

struct Request
{
    QByteArray frame;       // written to the line as it is
    int echoLastIndex = -1; // last byte of the frame the request echo shows (-1: all)
    // The port's receive event is armed at this many bytes while the request is
    // the last one sent (0: none). The core itself looks at every byte that
    // arrives; the event only takes bytes that come when nothing is awaited.
    int threshold = 0;
    protocol::ReplyShape shape;
    Context context;
    // How long after the frame went out its reply is awaited; then the line is
    // free. 0: a command's wait (RequestCore::commandDeadlineMs).
    int deadlineMs = 0;
    // Silence wanted on the line before the frame goes out (0: none), so that a
    // reply still arriving for an earlier request is not taken for this one's.
    // Bounded by deadlineMs.
    int quietGapUs = 0;
    // The silence is counted from the request's turn on, not from the last byte:
    // a late reply to the request before, which had none in its time, must not
    // be taken for this one's.
    bool quietFromTurn = false;
    // 0: the first asking; 1, 2 ...: the same request asked again after it got no usable reply.
    int retry = 0;
    // At the deadline, the start of a reply whose end did not come is used as
    // far as it goes. Otherwise bytes that stop coming before they make a whole
    // reply (protocol::ReplyEndSilenceMs) are judged then, not at the deadline.
    bool cutShortUsable = false;
    // A whole reply arriving after the deadline is still taken for this request,
    // as long as no other request went out since.
    bool lateReplyTaken = true;
};

struct Reply
{
    QByteArray bytes; // as they were taken from the line
    Request request;  // the request they answer
};

} // namespace requests
