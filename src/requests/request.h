#pragma once
// A request as it travels the request core: its frame, how its reply is taken
// from the line, and the values its reply must be read with.

#include <QByteArray>

namespace requests {

// What the reply is read with: the values of the request it answers, kept when
// the request was sent, never what the window's boxes hold when it arrives.
struct Context
{
    int kind = 0; // the CommandMode: which handler its reply goes to
    int station = 0;
    int channel = 0;
    int count = 0;
    int position = 0;
};

struct Request
{
    QByteArray frame;       // written to the line as it is
    int echoLastIndex = -1; // last byte of the frame the request echo shows (-1: all)
    // The receive event takes the reply once `threshold` bytes are in, at most
    // `replyLength` of them, and hands it to the handler of `context.kind`. A
    // threshold of 0 raises no receive event: the sender takes the reply itself
    // (RequestCore::takeReply).
    int threshold = 0;
    int replyLength = 0;
    Context context;
};

struct Reply
{
    QByteArray bytes;
    Request request; // the request it answers
};

} // namespace requests
