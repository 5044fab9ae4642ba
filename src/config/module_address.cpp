#include "module_address.h"

#include "protocol/baud_codes.h"
#include "protocol/box_number.h"
#include "protocol/frames.h"

namespace config {

namespace {
// The changes' replies are as long as the module makes them: the request does
// not fix their length, so a reply ends where its CRC holds.
requests::Request configRequest(QByteArray frame, int kind, int station)
{
    requests::Request request;
    request.threshold = protocol::configThreshold;
    request.shape.station = quint8(station);
    request.shape.function = quint8(frame.at(1));
    request.shape.length = 0;
    request.shape.shortestLength = protocol::configThreshold;
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
    request.threshold = protocol::configReplyLength(0, 1);
    request.shape.length = request.threshold;
    return request;
}

requests::Request changeAddressRequest(quint8 present, quint8 changed)
{
    requests::Request request =
        configRequest(protocol::changeAddressRequest(present, changed), protocol::ModeChangeAddress, present);
    // The module may answer from its new address already.
    request.shape.otherStation = changed;
    return request;
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

std::optional<int> baudCodeChangedBy(const requests::Request& request)
{
    const QByteArray& frame = request.frame;
    if (frame.size() < 6 || quint8(frame.at(1)) != protocol::FunctionWrite ||
        quint8(frame.at(2)) != protocol::SubChangeBaud)
        return std::nullopt;
    return quint8(frame.at(5));
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
