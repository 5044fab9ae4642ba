#include "line_test.h"

#include "temperature_reading.h"

#include <algorithm>
#include <cmath>

namespace acquisition {

namespace {
// The value at the nearest rank of `fraction` in `sorted` (not empty).
int atRank(const QVector<int>& sorted, double fraction)
{
    const int rank = int(std::ceil(fraction * sorted.size()));
    return sorted.at(std::clamp(rank, 1, int(sorted.size())) - 1);
}
} // namespace

LineTestSample lineTestSample(const requests::Exchange& exchange, const QByteArray& taken)
{
    const QByteArray& frame = exchange.request.frame;
    const int echoed = exchange.echoBytes > 0                                              ? exchange.echoBytes
                       : protocol::echoedRequestLength(taken, frame) == frame.size() ? int(frame.size())
                                                                                       : 0;
    return {exchange.reply.status, exchange.replyMs, echoed, exchange.reply.skipped};
}

int suggestedReplyTimeoutMs(int p95Ms)
{
    constexpr int Step = 50;
    const int wanted = std::max(2 * p95Ms, p95Ms + 100);
    const int rounded = (wanted + Step - 1) / Step * Step;
    return std::clamp(rounded, requests::LineTuning::MinReplyTimeoutMs, requests::LineTuning::MaxReplyTimeoutMs);
}

LineTestFigures lineTestFigures(const QVector<LineTestSample>& samples)
{
    LineTestFigures f;
    f.requests = int(samples.size());
    QVector<int> times;
    for (const LineTestSample& s : samples) {
        switch (s.status) {
        case protocol::ReplyStatus::Usable:
            ++f.usable;
            break;
        case protocol::ReplyStatus::CutShort:
        case protocol::ReplyStatus::CrcError:
            ++f.crcErrors;
            break;
        case protocol::ReplyStatus::NoReply:
            ++f.noReplies;
            break;
        case protocol::ReplyStatus::Mismatch:
            ++f.mismatches;
            break;
        case protocol::ReplyStatus::Exception:
            ++f.exceptions;
            break;
        }
        if (s.replyMs >= 0)
            times << s.replyMs;
        f.echoSeen = f.echoSeen || s.echoBytes > 0;
        f.garbageBytes += s.skippedBytes;
    }
    if (!times.isEmpty()) {
        std::sort(times.begin(), times.end());
        f.medianMs = atRank(times, 0.5);
        f.p95Ms = atRank(times, 0.95);
        f.suggestedTimeoutMs = suggestedReplyTimeoutMs(*f.p95Ms);
    }
    return f;
}

QString lineTestText(const LineTestFigures& f, bool stopped)
{
    const QString none = QStringLiteral("-");
    const auto ms = [&](const std::optional<int>& value) {
        return value ? QStringLiteral("%1 ms").arg(*value) : none;
    };
    QStringList lines;
    lines << QStringLiteral("%1请求 %2，正确应答 %3，CRC错误 %4，无应答 %5，应答不符 %6，异常应答 %7")
                 .arg(stopped ? QStringLiteral("(已停止) ") : QString())
                 .arg(f.requests)
                 .arg(f.usable)
                 .arg(f.crcErrors)
                 .arg(f.noReplies)
                 .arg(f.mismatches)
                 .arg(f.exceptions);
    lines << QStringLiteral("应答时间：中位数 %1，95%分位 %2").arg(ms(f.medianMs), ms(f.p95Ms));
    lines << QStringLiteral("回波：%1；应答前杂散字节：%2")
                 .arg(f.echoSeen ? QStringLiteral("有") : QStringLiteral("无"))
                 .arg(f.garbageBytes);
    lines << QStringLiteral("建议应答超时：%1").arg(ms(f.suggestedTimeoutMs));
    return lines.join(QLatin1Char('\n'));
}

LineTest::LineTest(requests::RequestCore& core, QObject* parent) : QObject(parent), m_core(core)
{
    // An echo the line's tuning does not drop is skipped as noise: it shows in what was taken.
    connect(&m_core, &requests::RequestCore::replyTaken, this, [this](const requests::Reply& reply) {
        if (m_running && !reply.request.frame.isEmpty())
            m_taken = reply.bytes;
    });
}

bool LineTest::start(const TemperatureRequestFields& fields, int count)
{
    if (m_running || !m_core.port()->PortOpen())
        return false;
    m_fields = fields;
    m_total = count;
    m_samples.clear();
    m_running = true;
    askNext();
    return true;
}

void LineTest::stop()
{
    if (!m_running)
        return;
    m_core.cancel(this);
    finish(false);
}

void LineTest::askNext()
{
    if (m_samples.size() >= m_total) {
        finish(true);
        return;
    }
    requests::Request request = passChannelRequest(m_fields, m_fields.channel, m_core.port()->baudRate(), false,
                                                   m_core.overdueAfterMs());
    m_taken.clear();
    const auto submitted = m_core.submit(request, this, [this](const requests::Exchange& exchange) {
        if (!m_running)
            return;
        if (exchange.ending != requests::Exchange::Ending::Answered) {
            finish(false);
            return;
        }
        m_samples << lineTestSample(exchange, m_taken);
        Q_EMIT progress(int(m_samples.size()), m_total);
        askNext();
    });
    if (submitted != requests::RequestCore::Submitted::Queued)
        finish(false);
}

void LineTest::finish(bool complete)
{
    m_running = false;
    Q_EMIT finished(lineTestFigures(m_samples), complete);
}

} // namespace acquisition
