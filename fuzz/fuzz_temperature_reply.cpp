// Bytes received for a temperature read: judging them against the request
// (the single reading's and the pass's) and decoding them. Input: station,
// function, start, count, channel, then the bytes received.

#include "judged_reply_check.h"

#include "acquisition/temperature_reading.h"
#include "protocol/temperature.h"

#include <algorithm>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    acquisition::TemperatureRequestFields fields;
    fields.station = input.byte();
    fields.function = input.byte();
    fields.start = input.byte();
    fields.count = input.byte();
    fields.channel = input.byte();
    const QByteArray received = input.rest();

    for (const requests::Request& request : {acquisition::singleReadingRequest(fields, 9600),
                                             acquisition::passChannelRequest(fields, fields.channel, 9600, false)}) {
        FUZZ_CHECK(request.frame.size() == 8 && protocol::hasValidCrc(request.frame));
        const protocol::JudgedReply judged = protocol::judgeReply(received, request.shape);
        fuzz::checkJudgedReply(judged, received, request.shape);
        if (judged.status == protocol::ReplyStatus::Usable)
            FUZZ_CHECK(protocol::decodeTemperatures(judged.bytes, fields.count).size() == fields.count);
        checkDecoded(judged.bytes, fields.count);
    }
    checkDecoded(received, fields.count);
    return 0;
}
