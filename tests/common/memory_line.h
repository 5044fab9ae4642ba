#pragma once
// A request core on an open serial port in memory: what tests of the core and
// of what runs on it drive.

#include "port/memory_backend.h"
#include "requests/request_core.h"

#include <memory>

struct MemoryLine
{
    port::MemoryBackend* device = nullptr; // owned by the port
    std::unique_ptr<port::MSComm> comm;
    std::unique_ptr<requests::RequestCore> core;

    MemoryLine()
    {
        auto backend = std::make_unique<port::MemoryBackend>();
        device = backend.get();
        comm = std::make_unique<port::MSComm>(std::move(backend));
        comm->setPortNameResolver([](int n) { return QStringLiteral("mem:%1").arg(n); });
        comm->setPortOpen(true);
        core = std::make_unique<requests::RequestCore>(comm.get());
    }
};
