#pragma once
// A traffic recorder on a request core over an open memory port, with a clock
// the test sets: what the traffic tests and the traffic page's tests drive.

#include "memory_line.h"

#include "traffic/traffic_recorder.h"

struct RecordedLine : MemoryLine
{
    traffic::TrafficRecorder recorder;
    qint64 now;

    RecordedLine(int capacity, qint64 startMs) : recorder(capacity), now(startMs)
    {
        recorder.attach(core.get());
        recorder.setClock([this] { return now; });
    }
};
