#pragma once
// The record of the line's traffic: the last frames out and in, in a ring of a
// fixed size, and their text form for a list and a saved file.

#include "verdict.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace traffic {

struct TrafficEntry
{
    qint64 timeMs = 0; // UTC, ms since the epoch
    Direction direction = Direction::Out;
    QByteArray bytes;
    Verdict verdict = Verdict::Sent;
    QString framing = {}; // "TCP" or "MBAP" on a network line (port::LineAddress); empty on a serial port
};

// Holds the last `capacity` entries; each new one past that replaces the
// oldest. Its memory is taken once, when it is made. Every entry added has a
// sequence number, counting from 0, by which it can be found while it is held.
class TrafficRing
{
public:
    static constexpr int DefaultCapacity = 1000;

    explicit TrafficRing(int capacity = DefaultCapacity);

    int capacity() const { return int(m_slots.size()); }
    int size() const { return int(m_next - m_first); }
    // Entry `index` of those held, 0 the oldest.
    const TrafficEntry& at(int index) const;
    // The sequence number of the oldest entry held (that of the next when none is).
    quint64 firstSequence() const { return m_first; }

    // Adds `entry`, and returns its sequence number.
    quint64 append(TrafficEntry entry);
    // The entry with `sequence`, or nullptr when it is no longer (or not yet) held.
    TrafficEntry* find(quint64 sequence);
    // Forgets every entry; sequence numbers go on counting.
    void clear() { m_first = m_next; }

private:
    std::vector<TrafficEntry> m_slots;
    quint64 m_first = 0;
    quint64 m_next = 0;
};

// One line for the list and the file, fields two spaces apart: local time
// "yyyy-MM-dd HH:mm:ss.zzz", the direction (with the framing on a network
// line: "发送 MBAP"), the bytes as spaced hex, the verdict.
QString entryLine(const TrafficEntry& entry);

// Every entry held, oldest first, one line each ended by CR LF, in UTF-8.
QByteArray recordText(const TrafficRing& record);

// Writes recordText to `path`, replacing the file whole (the previous file
// stays if the save fails). False when it was not written.
bool saveRecord(const QString& path, const TrafficRing& record);

} // namespace traffic
