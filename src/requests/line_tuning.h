#pragma once
// How one line is driven: how long a reply is awaited, how often a channel
// without a usable reply is asked again, a pause between requests, and whether
// the adapter hands the request's own bytes back before the reply. The
// defaults drive the line as a module answering within the usual times needs.

#include <QString>

namespace requests {

struct LineTuning
{
    static constexpr int DefaultReplyTimeoutMs = 500; // the pass's wait for each channel
    static constexpr int MinReplyTimeoutMs = 100;
    static constexpr int MaxReplyTimeoutMs = 60000;
    static constexpr int MaxRetries = 10;
    static constexpr int MaxGapMs = 10000;

    // Where the line is: empty for the serial port the port settings name. Kept
    // as written; the program passes it on without reading it.
    QString address;
    // How long a temperature reply is awaited; the single reading's shorter wait
    // gives way to it only when it is longer than the default.
    int replyTimeoutMs = DefaultReplyTimeoutMs;
    int retries = 0; // a pass's channel without a usable reply is asked again this many times
    int gapMs = 0;   // pause after each exchange before the next request goes out
    bool echo = false; // the request's own bytes come back before the reply

    friend bool operator==(const LineTuning& a, const LineTuning& b)
    {
        return a.address == b.address && a.replyTimeoutMs == b.replyTimeoutMs && a.retries == b.retries &&
               a.gapMs == b.gapMs && a.echo == b.echo;
    }
    friend bool operator!=(const LineTuning& a, const LineTuning& b) { return !(a == b); }
};

} // namespace requests
