#pragma once
// A traffic recorder on a request core over an open memory port, with a clock
// the test sets: what the traffic tests and the traffic page's tests drive.

#include "port/memory_backend.h"
#include "requests/request_core.h"
#include "traffic/traffic_recorder.h"

#include <memory>

struct RecordedLine
{
    port::MemoryBackend* device = nullptr;
    std::unique_ptr<port::MSComm> comm;
    std::unique_ptr<requests::RequestCore> core;
    traffic::TrafficRecorder recorder;
    qint64 now;

    RecordedLine(int capacity, qint64 startMs) : recorder(capacity), now(startMs)
    {
        auto backend = std::make_unique<port::MemoryBackend>();
        device = backend.get();
        comm = std::make_unique<port::MSComm>(std::move(backend));
        comm->setPortNameResolver([](int n) { return QStringLiteral("mem:%1").arg(n); });
        comm->setPortOpen(true);
        core = std::make_unique<requests::RequestCore>(comm.get());
        recorder.attach(core.get());
        recorder.setClock([this] { return now; });
    }
};
