#pragma once
// Finding the modules on a line: which stations at which baud rates answer a
// short probe, and how many of their channels answer. The probe is the
// smallest temperature read (one position of one channel), so any module
// answers it whatever its settings, and its time-out follows the line time.

#include "requests/request_core.h"

#include <QList>
#include <QString>

namespace acquisition {

// The baud rates the module can run at, lowest first.
QList<int> moduleBaudRates();

// Each baud rate of `text` ("4800,9600"): only rates the module can run at, each
// once. Empty, with `error` set (naming the text), for anything else.
QList<int> parseScanBaudRates(const QString& text, QString* error);

// A module answers a probe within this much beyond the line time of the probe
// and its reply: its own turnaround and a USB adapter's latency (16 ms).
inline constexpr int kScanTurnaroundMs = 100;

// How long the probe of a station waits at `baud`.
int scanProbeDeadlineMs(int baud);

// The probe of `channel` (1..10) at `station`: read one position, function 3.
requests::Request scanProbeRequest(quint8 station, quint8 channel, int baud);

// Whether a probe's exchange shows a module at the probed station: an intact
// reply of its own, or its refusal (an exception reply is a module too).
bool probeFoundModule(const requests::Exchange& exchange);
// Whether the probed channel answered with a reading.
bool probeChannelAnswered(const requests::Exchange& exchange);

struct ScanFinding
{
    int station = 0;
    int baud = 0;
    int channels = 0; // of channels 1..10, how many answered
};

// The finding as the reader prints it: "station,baud,channels".
QString scanFindingLine(const ScanFinding& finding);

} // namespace acquisition
