#pragma once
// A channel's reply as records for other programs: a record per value read, or
// one for the channel when its reply failed, so a consumer sees the gap. The
// same record is a CSV line, a JSON line and an MQTT payload.
//
// Fields: time (UTC, ISO 8601 with milliseconds), station, channel, position
// (none for a failed channel), value (°C, none without a temperature), state
// (ok, not_wired, not_recognised, no_value; for a failed channel crc_error,
// mismatch, exception, no_reply), raw (the register, none for a failed channel).

#include "protocol/reply_judge.h"
#include "history/reading.h"
#include "requests/request.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

namespace site {

enum class ReplyFailure {
    CrcError,  // bytes came that fail their CRC or hold no whole reply
    Mismatch,  // an intact reply to some other request (another station, function or count)
    Exception, // the module refused the request (its exception reply)
    NoReply,   // nothing came, or the reply stopped short of the positions asked for
};
QLatin1String failureText(ReplyFailure failure);

struct ChannelFailure
{
    qint64 timeMs = 0;
    int station = 0;
    int channel = 0;
    ReplyFailure failure = ReplyFailure::NoReply;
};

struct ChannelRecords
{
    QVector<history::Reading> readings;
    std::optional<ChannelFailure> failure;
};

// What one channel's judged reply yields at `timeMs`: the readings it carries
// (at most `positions`, numbered from the request's start position) and, when it
// was not used or stopped short, the channel's failure.
ChannelRecords channelRecords(const protocol::JudgedReply& reply, const requests::Request& request,
                              int positions, qint64 timeMs);

// UTC, ISO 8601 with milliseconds: 2026-12-07T22:33:08.123Z.
QString isoTimeUtc(qint64 timeMs);

// "time,station,channel,position,value,state,raw" and a record's line, each with "\n".
QByteArray csvHeader();
QByteArray csvLine(const history::Reading& reading);
QByteArray csvLine(const ChannelFailure& failure);

// The record as one JSON object on one line, without a line end.
QByteArray jsonObject(const history::Reading& reading);
QByteArray jsonObject(const ChannelFailure& failure);

} // namespace site
