#pragma once
// How long bytes take on the line: 10 bits a byte (start bit, 8 data bits, stop bit).
// Times round up to the next whole unit, so a wait built from them is never short;
// in turn a byte counts as carried only once all of its time has passed. A baud of
// 0 or less counts as 9600.

#include <QtGlobal>

namespace protocol {

// How long a module takes to begin its answer, on top of the line time.
inline constexpr int ModuleTurnaroundMs = 150;

// Bytes stopped coming this long ago, and what came is no whole reply: the
// rest is not coming. Well above the pause a USB adapter puts between the
// bursts it hands over (its latency timer, typically 16 ms), far below any
// reply's deadline, so an error is told as soon as it is certain.
inline constexpr int ReplyEndSilenceMs = 50;

// Time that `bytes` take at `baud`.
qint64 lineTimeUs(int bytes, int baud);
int lineTimeMs(int bytes, int baud);

// 3.5 character times: the silence that ends a frame on the bus.
qint64 interFrameGapUs(int baud);

// Whole bytes the line carries in `us` microseconds at `baud`: byte k counts
// from lineTimeUs(k, baud) on.
qint64 bytesCarriedInUs(qint64 us, int baud);

} // namespace protocol
