#include "site_record.h"

#include "protocol/temperature.h"

#include <QDateTime>

namespace site {

namespace {

struct Fields
{
    qint64 timeMs;
    int station;
    int channel;
    std::optional<int> position;
    std::optional<QByteArray> value; // °C as the grid shows it
    QLatin1String state;
    std::optional<int> raw;
};

Fields fieldsOf(const history::Reading& r)
{
    std::optional<QByteArray> value;
    if (r.state == history::ReadingState::Ok)
        value = protocol::temperatureText(r.raw).toLatin1();
    return {r.timeMs, r.station, r.channel, r.position, value, history::stateText(r.state), int(r.raw)};
}

Fields fieldsOf(const ChannelFailure& f)
{
    return {f.timeMs, f.station, f.channel, std::nullopt, std::nullopt, failureText(f.failure), std::nullopt};
}

template <typename T> QByteArray optionalText(const std::optional<T>& value, const char* none)
{
    if (!value)
        return none;
    if constexpr (std::is_same_v<T, QByteArray>)
        return *value;
    else
        return QByteArray::number(*value);
}

QByteArray csvOf(const Fields& f)
{
    return isoTimeUtc(f.timeMs).toLatin1() + ',' + QByteArray::number(f.station) + ',' +
           QByteArray::number(f.channel) + ',' + optionalText(f.position, "") + ',' +
           optionalText(f.value, "") + ',' + QByteArray(f.state.data(), f.state.size()) + ',' +
           optionalText(f.raw, "") + '\n';
}

QByteArray jsonOf(const Fields& f)
{
    return "{\"time\":\"" + isoTimeUtc(f.timeMs).toLatin1() +
           "\",\"station\":" + QByteArray::number(f.station) +
           ",\"channel\":" + QByteArray::number(f.channel) +
           ",\"position\":" + optionalText(f.position, "null") +
           ",\"value\":" + optionalText(f.value, "null") + ",\"state\":\"" +
           QByteArray(f.state.data(), f.state.size()) + "\",\"raw\":" + optionalText(f.raw, "null") + '}';
}

} // namespace

QLatin1String failureText(ReplyFailure failure)
{
    switch (failure) {
    case ReplyFailure::CrcError:
        return QLatin1String("crc_error");
    case ReplyFailure::Mismatch:
        return QLatin1String("mismatch");
    case ReplyFailure::Exception:
        return QLatin1String("exception");
    case ReplyFailure::NoReply:
        break;
    }
    return QLatin1String("no_reply");
}

ChannelRecords channelRecords(const protocol::JudgedReply& reply, const requests::Request& request,
                              int positions, qint64 timeMs)
{
    using protocol::ReplyStatus;
    const requests::Context& asked = request.context;
    ChannelRecords records;
    const auto fail = [&](ReplyFailure failure) {
        records.failure = ChannelFailure{timeMs, asked.station, asked.channel, failure};
    };
    switch (reply.status) {
    case ReplyStatus::Usable:
    case ReplyStatus::CutShort:
        break;
    case ReplyStatus::NoReply:
        fail(ReplyFailure::NoReply);
        return records;
    case ReplyStatus::CrcError:
        fail(ReplyFailure::CrcError);
        return records;
    case ReplyStatus::Mismatch:
        fail(ReplyFailure::Mismatch);
        return records;
    case ReplyStatus::Exception:
        fail(ReplyFailure::Exception);
        return records;
    }
    const QVector<quint16> registers = protocol::decodeRegisters(reply.bytes, positions);
    records.readings.reserve(registers.size());
    for (int k = 0; k < registers.size(); ++k)
        records.readings.append(
            history::readingFromRaw(timeMs, asked.station, asked.channel, asked.position + k, registers[k]));
    if (registers.size() < qMin(positions, asked.count))
        fail(ReplyFailure::NoReply);
    return records;
}

QString isoTimeUtc(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QByteArray csvHeader()
{
    return "time,station,channel,position,value,state,raw\n";
}

QByteArray csvLine(const history::Reading& reading)
{
    return csvOf(fieldsOf(reading));
}

QByteArray csvLine(const ChannelFailure& failure)
{
    return csvOf(fieldsOf(failure));
}

QByteArray jsonObject(const history::Reading& reading)
{
    return jsonOf(fieldsOf(reading));
}

QByteArray jsonObject(const ChannelFailure& failure)
{
    return jsonOf(fieldsOf(failure));
}

} // namespace site
