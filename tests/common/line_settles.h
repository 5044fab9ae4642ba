#pragma once
// Waiting in a test until the window's line is quiet: nothing reads, nothing is
// on the line or waits for it.

#include "ui/main_window.h"

#include <QtTest>

inline bool lineSettles(MainWindow& window, int timeoutMs = 5000)
{
    return QTest::qWaitFor([&] { return !window.readingBusy() && window.requestCore().idle(); }, timeoutMs);
}
