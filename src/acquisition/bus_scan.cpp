#include "bus_scan.h"

#include "read_timing.h"

#include "protocol/baud_codes.h"
#include "protocol/frames.h"
#include "protocol/line_timing.h"
#include "protocol/temperature.h"

namespace acquisition {

namespace {
constexpr quint8 kProbeFunction = 3;
constexpr quint8 kProbeStart = 1;
constexpr quint8 kProbeCount = 1;
} // namespace

QList<int> moduleBaudRates()
{
    QList<int> rates;
    for (int code = protocol::lowestBaudCode(); code <= protocol::highestBaudCode(); ++code)
        rates.append(protocol::baudRateForCode(code));
    return rates;
}

QList<int> parseScanBaudRates(const QString& text, QString* error)
{
    QList<int> rates;
    for (const QString& part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int rate = part.trimmed().toInt(&ok);
        if (!ok || protocol::baudCodeForRate(rate) == 0 || rates.contains(rate)) {
            *error = QStringLiteral("“%1”不是波特率列表，应为 4800,9600,14400,19200 中的一个或几个 "
                                    "(not a list of baud rates: one or more of 4800,9600,14400,19200, each once)")
                         .arg(text);
            return {};
        }
        rates.append(rate);
    }
    return rates;
}

int scanProbeDeadlineMs(int baud)
{
    const int lineMs = protocol::lineTimeMs(
        kTemperatureRequestBytes + protocol::temperatureReplyLength(kProbeCount), baud);
    // The frame gaps before the probe and before the reply.
    const int gapsMs = int((2 * protocol::interFrameGapUs(baud) + 999) / 1000);
    return lineMs + gapsMs + kScanTurnaroundMs;
}

requests::Request scanProbeRequest(quint8 station, quint8 channel, int baud)
{
    requests::Request request;
    request.frame = protocol::temperatureRequest(station, kProbeFunction, channel, kProbeStart, kProbeCount);
    request.shape = protocol::temperatureReplyShape(station, kProbeFunction, kProbeCount);
    request.context = {protocol::ModeTemperature, station, channel, kProbeCount, kProbeStart};
    request.deadlineMs = scanProbeDeadlineMs(baud);
    request.quietGapUs = int(protocol::interFrameGapUs(baud));
    // A reply after the deadline would be taken for the next station's probe.
    request.lateReplyTaken = false;
    return request;
}

bool probeFoundModule(const requests::Exchange& exchange)
{
    const protocol::ReplyStatus status = exchange.reply.status;
    return exchange.ending == requests::Exchange::Ending::Answered &&
           (status == protocol::ReplyStatus::Usable || status == protocol::ReplyStatus::Exception);
}

bool probeChannelAnswered(const requests::Exchange& exchange)
{
    return exchange.ending == requests::Exchange::Ending::Answered &&
           exchange.reply.status == protocol::ReplyStatus::Usable;
}

QString scanFindingLine(const ScanFinding& finding)
{
    return QStringLiteral("%1,%2,%3").arg(finding.station).arg(finding.baud).arg(finding.channels);
}

} // namespace acquisition
