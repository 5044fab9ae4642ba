#pragma once
// Counts of one channel's traffic, and the median of its recent reply times.

#include <QtGlobal>
#include <optional>
#include <vector>

namespace traffic {

// The median of the last `size` values added; older ones are forgotten, so
// its memory never grows past `size` values.
class MedianWindow
{
public:
    static constexpr int DefaultSize = 1000;

    explicit MedianWindow(int size = DefaultSize);

    void add(qint64 value);
    int count() const { return int(m_values.size()); }
    // The middle value, or the mean of the middle two; nullopt before any value.
    std::optional<double> median() const;

private:
    std::size_t m_size;
    std::vector<qint64> m_values; // grows to m_size, then each value replaces the oldest
    std::size_t m_oldest = 0;
};

struct ChannelStats
{
    qint64 requests = 0;     // requests written
    qint64 replies = 0;      // replies taken from the line
    qint64 crcErrors = 0;    // replies judged a CRC error
    qint64 noReplies = 0;    // requests judged to have had no reply
    qint64 retries = 0;      // requests asked again after no usable reply (counted in `requests` too)
    qint64 skippedBytes = 0; // bytes before a reply's start (zeros, noise) that were skipped
    MedianWindow replyTimes; // ms from a request's write to its reply being taken
};

} // namespace traffic
