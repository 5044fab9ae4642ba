#pragma once
// What every fuzz target shares: taking leading bytes as parameters, the rest as
// the bytes under test, and stopping loudly when a result breaks its promise.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// The fuzzer's bytes, read from the front.
class Input
{
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t remaining() const { return m_size - m_pos; }

    // The next byte; 0 once the input has ended.
    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    // Everything not yet taken.
    QByteArray rest()
    {
        const QByteArray bytes(reinterpret_cast<const char*>(m_data + m_pos), qsizetype(m_size - m_pos));
        m_pos = m_size;
        return bytes;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Aborts with the broken promise, so libFuzzer saves the input as a crash.
[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, condition);
    std::abort();
}

} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::fuzz::fail(#condition, __FILE__, __LINE__);                                                    \
    } while (false)
