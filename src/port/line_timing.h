#pragma once
// How long bytes take on the line: 10 bits a byte (start, 8 data, stop).

namespace port {

// Milliseconds that `bytes` take at `baud`, rounded up. A baud of 0 or less counts as 9600.
int lineTimeMs(int bytes, int baud);

// Microseconds of 3.5 character times: the silence that ends a frame on the bus.
int interFrameGapUs(int baud);

} // namespace port
