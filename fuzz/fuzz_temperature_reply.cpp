// Bytes received for a temperature read: finding the reply among them, decoding
// it and judging it against the request. Input: station, function, start, count,
// channel, a flags byte (bit 0: the reply's deadline passed, bit 1: the receive
// event takes the reply), then the bytes received.

#include "fuzz_input.h"

#include "acquisition/temperature_reading.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/temperature.h"

#include <algorithm>

using protocol::LocatedReply;

namespace {

// How many registers decodeTemperatures may return: a register counts when it
// and the two bytes after it were received.
int decodableRegisters(const QByteArray& reply, int positions)
{
    const qsizetype whole = reply.size() < 6 ? 0 : (reply.size() - 5) / 2;
    return int(std::min<qsizetype>(std::max(positions, 0), whole));
}

void checkDecoded(const QByteArray& reply, int positions)
{
    const QVector<QString> texts = protocol::decodeTemperatures(reply, positions);
    FUZZ_CHECK(texts.size() == decodableRegisters(reply, positions));
    for (const QString& text : texts)
        FUZZ_CHECK(!text.isEmpty());
}

bool startsLikeReply(const QByteArray& bytes, quint8 station, quint8 function, int count)
{
    const bool stationOk = station == protocol::WildcardStation || quint8(bytes.at(0)) == station;
    return stationOk && (bytes.size() < 2 || quint8(bytes.at(1)) == function) &&
           (bytes.size() < 3 || quint8(bytes.at(2)) == quint8(2 * count));
}

void checkLocated(const LocatedReply& located, const QByteArray& received, quint8 station, quint8 function,
                  int count)
{
    const int length = protocol::temperatureReplyLength(count);
    switch (located.kind) {
    case LocatedReply::Nothing:
        FUZZ_CHECK(received.isEmpty() && located.bytes.isEmpty());
        return;
    case LocatedReply::Complete:
        FUZZ_CHECK(located.bytes.size() == length && protocol::hasValidCrc(located.bytes));
        FUZZ_CHECK(startsLikeReply(located.bytes, station, function, count));
        FUZZ_CHECK(received.contains(located.bytes));
        FUZZ_CHECK(protocol::decodeTemperatures(located.bytes, count).size() == count);
        return;
    case LocatedReply::CutShort:
        FUZZ_CHECK(!located.bytes.isEmpty() && located.bytes.size() < length);
        FUZZ_CHECK(startsLikeReply(located.bytes, station, function, count));
        FUZZ_CHECK(received.endsWith(located.bytes));
        return;
    case LocatedReply::Refused:
        FUZZ_CHECK(located.bytes.size() == 5 && protocol::hasValidCrc(located.bytes));
        FUZZ_CHECK(quint8(located.bytes.at(1)) == quint8(function | 0x80));
        FUZZ_CHECK(received.contains(located.bytes));
        return;
    case LocatedReply::Mismatch:
        FUZZ_CHECK(located.bytes == received && protocol::hasValidCrc(received));
        return;
    case LocatedReply::Invalid:
        FUZZ_CHECK(located.bytes == received && !received.isEmpty());
        return;
    }
    fuzz::fail("a kind that locateTemperatureReply does not return", __FILE__, __LINE__);
}

void checkJudged(const acquisition::TemperatureReplyOutcome& outcome, const LocatedReply& located,
                 const QByteArray& received, bool mayBeCutShort)
{
    using Outcome = acquisition::TemperatureReplyOutcome;
    const bool decodes =
        located.kind == LocatedReply::Complete || (located.kind == LocatedReply::CutShort && mayBeCutShort);
    if (located.kind == LocatedReply::Nothing) {
        FUZZ_CHECK(outcome.kind == Outcome::Nothing);
    } else if (decodes) {
        FUZZ_CHECK(outcome.kind == Outcome::Decode && outcome.bytes == located.bytes);
    } else {
        FUZZ_CHECK(outcome.kind == Outcome::Flag && !outcome.note.isEmpty());
        const QByteArray& shown = located.kind == LocatedReply::Refused ? located.bytes : received;
        FUZZ_CHECK(outcome.bytes == shown);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    acquisition::TemperatureRequestFields fields;
    fields.station = input.byte();
    fields.function = input.byte();
    fields.start = input.byte();
    fields.count = input.byte();
    const quint8 channel = input.byte();
    const std::uint8_t flags = input.byte();
    const bool mayBeCutShort = flags & 1;
    const bool receiveEvent = flags & 2;
    const QByteArray received = input.rest();

    const requests::Request request = acquisition::temperatureReadRequest(fields, channel, receiveEvent);
    FUZZ_CHECK(request.frame.size() == 8 && protocol::hasValidCrc(request.frame));

    const LocatedReply located =
        protocol::locateTemperatureReply(received, fields.station, fields.function, fields.count);
    checkLocated(located, received, fields.station, fields.function, fields.count);
    checkDecoded(received, fields.count);
    checkDecoded(located.bytes, fields.count);

    const acquisition::TemperatureReplyOutcome outcome =
        acquisition::judgeTemperatureReply(received, request, mayBeCutShort);
    checkJudged(outcome, located, received, mayBeCutShort);
    return 0;
}
