#include "module_address.h"

#include "protocol/baud_codes.h"
#include "protocol/box_number.h"
#include "protocol/frames.h"

namespace config {

namespace {
requests::Request configRequest(QByteArray frame, int kind, int station)
{
    requests::Request request;
    request.replyLength = protocol::configReplyLength(quint8(frame.at(4)), quint8(frame.at(5)));
    request.threshold = protocol::configThreshold;
    request.frame = std::move(frame);
    request.context.kind = kind;
    request.context.station = station;
    return request;
}

BoxValue box(const QString& text, protocol::Rounding rounding, const QString& caption, int minimum,
             int maximum)
{
    const std::optional<int> value = protocol::wholeNumber(text, rounding, minimum, maximum);
    if (!value)
        return {std::nullopt, protocol::rangeMessage(caption, minimum, maximum)};
    return {quint8(*value), QString()};
}
} // namespace

requests::Request readAddressRequest()
{
    requests::Request request = configRequest(protocol::readAddressRequest(), protocol::ModeReadAddressOrBaud,
                                              protocol::WildcardStation);
    // Its reply is used only whole (judgeAddressReply), so the event waits for all 7 bytes.
    request.threshold = request.replyLength;
    return request;
}

requests::Request changeAddressRequest(quint8 present, quint8 changed)
{
    return configRequest(protocol::changeAddressRequest(present, changed), protocol::ModeChangeAddress,
                         present);
}

requests::Request changeBaudRequest(quint8 presentCode, quint8 newCode)
{
    return configRequest(protocol::changeBaudRequest(presentCode, newCode), protocol::ModeReadAddressOrBaud,
                         protocol::WildcardStation);
}

std::optional<int> addressInReply(const QByteArray& reply, int kind)
{
    if (reply.size() < 4)
        return std::nullopt;
    const quint8 expected =
        kind == protocol::ModeChangeAddress ? protocol::FunctionWrite : protocol::FunctionReadAddress;
    const int address = quint8(reply.at(3));
    if (quint8(reply.at(1)) != expected || address < MinStation || address > MaxStation)
        return std::nullopt;
    return address;
}

protocol::ReplyVerdict judgeAddressReply(const QByteArray& reply, const requests::Request& request)
{
    const bool readsAddress =
        request.frame.size() > 1 && quint8(request.frame.at(1)) == protocol::FunctionReadAddress;
    if (!readsAddress)
        return {true, {}};
    return protocol::judgeWholeReply(reply, protocol::configReplyLength(0, 1), request.context.station,
                                     protocol::FunctionReadAddress);
}

BoxValue presentAddressBox(const QString& text)
{
    return box(text, protocol::Rounding::Floor, QStringLiteral("原地址"), MinStation,
               protocol::WildcardStation);
}

BoxValue newAddressBox(const QString& text)
{
    return box(text, protocol::Rounding::Floor, QStringLiteral("新地址"), MinStation, MaxStation);
}

BoxValue presentBaudCodeBox(const QString& text, const QString& caption)
{
    return box(text, protocol::Rounding::HalfToEven, caption, 0, 255);
}

BoxValue newBaudCodeBox(const QString& text, const QString& caption)
{
    return box(text, protocol::Rounding::HalfToEven, caption, protocol::lowestBaudCode(),
               protocol::highestBaudCode());
}

} // namespace config
