#include "reply_stats.h"

#include <algorithm>

namespace traffic {

MedianWindow::MedianWindow(int size) : m_size(std::size_t(std::max(size, 1))) {}

void MedianWindow::add(qint64 value)
{
    if (m_values.size() < m_size) {
        m_values.push_back(value);
        return;
    }
    m_values[m_oldest] = value;
    m_oldest = (m_oldest + 1) % m_size;
}

std::optional<double> MedianWindow::median() const
{
    if (m_values.empty())
        return std::nullopt;
    std::vector<qint64> sorted = m_values;
    const auto middle = sorted.begin() + std::ptrdiff_t(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    if (sorted.size() % 2 == 1)
        return double(*middle);
    // The lower middle value is the largest of those before the upper one.
    const qint64 lower = *std::max_element(sorted.begin(), middle);
    return (double(lower) + double(*middle)) / 2;
}

} // namespace traffic
