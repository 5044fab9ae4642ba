// What comes from a network line: a gateway's byte stream after one request,
// and a line address as typed. Input: a first byte choosing which, then the
// stream (the request's station from the next byte) or the address in UTF-8.

#include "fuzz_input.h"

#include "port/line_address.h"
#include "protocol/crc16.h"
#include "protocol/mbap.h"

#include <QString>

namespace {

void checkGatewayStream(fuzz::Input& input)
{
    const auto station = char(input.byte());
    const QByteArray stream = input.rest();
    protocol::MbapClient client;
    // Read channel 1's 40 positions.
    const QByteArray read("\x03\x01\x01\x00\x28", 5);
    const QByteArray request = client.request(protocol::appendCrc(QByteArray(1, station) + read));
    FUZZ_CHECK(request.size() == 12);
    // Fed in two parts: where the stream is cut changes nothing.
    const qsizetype cut = stream.isEmpty() ? 0 : qsizetype(quint8(stream.at(0))) % (stream.size() + 1);
    QList<QByteArray> replies = client.takeReplies(stream.left(cut));
    replies += client.takeReplies(stream.mid(cut));
    // At most the one reply awaited, in the line's form: unit, function, CRC.
    FUZZ_CHECK(replies.size() <= 1);
    for (const QByteArray& reply : replies) {
        FUZZ_CHECK(reply.size() >= 4 && reply.size() <= protocol::kMbapMaxLength + 2);
        FUZZ_CHECK(protocol::hasValidCrc(reply));
        // Wrapped again under its id, it is the gateway's frame it came from.
        const QByteArray again = protocol::mbapFromRtu(reply, 1);
        FUZZ_CHECK(stream.contains(again));
    }
}

void checkAddress(fuzz::Input& input)
{
    const QString text = QString::fromUtf8(input.rest());
    QString error;
    const std::optional<port::LineAddress> address = port::parseLineAddress(text, &error);
    FUZZ_CHECK(address.has_value() == error.isEmpty());
    if (!address)
        return;
    FUZZ_CHECK(!address->host.isEmpty() && address->port >= 1);
    FUZZ_CHECK(port::looksLikeLineAddress(text));
    // Its tidy text is an address that reads back the same.
    const std::optional<port::LineAddress> again = port::parseLineAddress(address->text(), nullptr);
    FUZZ_CHECK(again && again->text() == address->text());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    if (input.byte() % 2 == 0)
        checkGatewayStream(input);
    else
        checkAddress(input);
    return 0;
}
