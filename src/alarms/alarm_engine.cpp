#include "alarm_engine.h"

#include <QDateTime>
#include <cmath>

namespace alarms {

namespace {

using Kind = AlarmNotice::Kind;
using Level = AlarmNotice::Level;
using Event = AlarmNotice::Event;

// Highest level first, then high, low, rise: the order in which a reading's conditions are chosen.
const std::pair<Kind, Level> LimitConditions[] = {
    {Kind::High, Level::Alarm},   {Kind::Low, Level::Alarm},   {Kind::Rise, Level::Alarm},
    {Kind::High, Level::Warning}, {Kind::Low, Level::Warning}, {Kind::Rise, Level::Warning},
};

qint64 hundredths(double celsius)
{
    return std::llround(celsius * 100);
}

QString celsiusText(double celsius)
{
    return QString::number(celsius, 'f', 2);
}

const QString FaultNotWired = QStringLiteral("未接线");
const QString FaultNotRecognised = QStringLiteral("未识别");
const QString FaultNoValue = QStringLiteral("无数值");
const QString FaultPowerOn = QStringLiteral("上电值85.00");

} // namespace

QString levelText(Level level)
{
    return level == Level::Warning ? QStringLiteral("预警") : QStringLiteral("报警");
}

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::High:
        return QStringLiteral("高温");
    case Kind::Low:
        return QStringLiteral("低温");
    case Kind::Rise:
        return QStringLiteral("温升");
    case Kind::SensorFault:
        return QStringLiteral("传感器故障");
    case Kind::StationSilent:
        return QStringLiteral("通信中断");
    }
    return QString();
}

QString placeText(const Sensor& where)
{
    if (where.channel == 0)
        return QStringLiteral("地址%1").arg(where.station);
    return QStringLiteral("地址%1 通道%2 位置%3").arg(where.station).arg(where.channel).arg(where.position);
}

QString noticeText(const AlarmNotice& n)
{
    const QString place = placeText({n.station, n.channel, n.position});
    const QString site = n.site.isEmpty() ? QString() : n.site + QLatin1Char(' ');
    const QString what = place + QLatin1Char(' ') + kindText(n.kind);
    switch (n.event) {
    case Event::Started: {
        QString detail;
        if (n.kind == Kind::SensorFault)
            detail = QStringLiteral("：") + n.reason;
        else if (n.hasValue && n.hasLimit && n.kind == Kind::Rise)
            detail =
                QStringLiteral(" %1°C（温升上限 %2°C/天）").arg(celsiusText(n.value), celsiusText(n.limit));
        else if (n.hasValue && n.hasLimit)
            detail = QStringLiteral(" %1°C（%2 %3°C）")
                         .arg(celsiusText(n.value),
                              n.kind == Kind::Low ? QStringLiteral("下限") : QStringLiteral("上限"),
                              celsiusText(n.limit));
        return site + levelText(n.level) + QStringLiteral("：") + what + detail;
    }
    case Event::Ended: {
        const QString peak = n.hasLimit ? QStringLiteral("，峰值 %1°C").arg(celsiusText(n.peak)) : QString();
        return site + levelText(n.level) + QStringLiteral("结束（%1）：").arg(n.reason) + what + peak;
    }
    case Event::Acknowledged:
        return site + levelText(n.level) + QStringLiteral("已确认（%1）：").arg(n.acknowledgedBy) + what;
    }
    return QString();
}

void AlarmEngine::setLimits(const AlarmLimits& limits, const AlarmRules& rules)
{
    m_limits = limits;
    m_rules = rules;
}

void AlarmEngine::restore(const QList<AlarmEntry>& active, qint64 highestId)
{
    m_lastId = std::max(m_lastId, highestId);
    for (const AlarmEntry& entry : active) {
        m_lastId = std::max(m_lastId, entry.id);
        m_active[entry.id] = entry;
        if (entry.kind == Kind::StationSilent) {
            StationTrack& station = m_stations[entry.where.station];
            station.silentAlarm = entry.id;
            station.lastRound = m_round;
            continue;
        }
        SensorTrack& track = m_sensors[entry.where];
        (entry.kind == Kind::SensorFault ? track.faultAlarm : track.limitAlarm) = entry.id;
        track.lastRound = m_round;
    }
}

QList<AlarmNotice> AlarmEngine::feed(const SensorReading& reading)
{
    QList<AlarmNotice> notices;
    StationTrack& station = m_stations[reading.sensor.station];
    station.answeredThisRound = true;
    station.lastRound = m_round;
    station.silentRounds = 0;
    if (station.silentAlarm)
        end(station.silentAlarm, reading.timeMs, EndedBackInside, std::nullopt, notices);

    SensorTrack& track = m_sensors[reading.sensor];
    track.lastRound = m_round;
    judgeFault(track, reading, notices);
    judgeLimits(track, reading, notices);
    return notices;
}

void AlarmEngine::judgeLimits(SensorTrack& track, const SensorReading& reading, QList<AlarmNotice>& notices)
{
    // A reading without a temperature neither holds nor breaks a limit: what is in force stays.
    if (!reading.celsius)
        return;
    const SensorValue value{reading.sensor, reading.timeMs, reading.celsius};
    const std::optional<EarlierValue> earlier = m_baselines.earlier(value.sensor, value.timeMs);
    m_baselines.add(value);
    const SensorReading& r = reading;

    std::optional<Condition> confirmed;
    for (const Condition& condition : LimitConditions) {
        if (!holds(condition, r, earlier, 0)) {
            track.held.erase(condition);
            continue;
        }
        auto [held, fresh] = track.held.try_emplace(condition, Held{r.timeMs, 0});
        Q_UNUSED(fresh);
        ++held->second.readings;
        if (!confirmed &&
            persistenceOf(condition.first).reached(held->second.readings, r.timeMs - held->second.sinceMs))
            confirmed = condition;
    }

    if (track.limitAlarm) {
        AlarmEntry& active = m_active[track.limitAlarm];
        const Condition current{active.kind, active.level};
        if (!holds(current, r, earlier, m_rules.marginCelsius)) {
            const bool deescalated =
                confirmed && confirmed->first == current.first && confirmed->second < current.second;
            end(track.limitAlarm, r.timeMs, deescalated ? EndedDeescalated : EndedBackInside, r.celsius,
                notices);
        } else {
            const double v = *r.celsius;
            if (!active.peak || (active.kind == Kind::Low ? v < *active.peak : v > *active.peak))
                active.peak = v;
            if (!confirmed || confirmed->second <= current.second)
                return;
            end(track.limitAlarm, r.timeMs, EndedEscalated, r.celsius, notices);
        }
    }
    if (!confirmed)
        return;
    AlarmEntry entry;
    entry.kind = confirmed->first;
    entry.level = confirmed->second;
    entry.where = r.sensor;
    entry.peak = r.celsius;
    entry.firstValue = r.celsius;
    entry.limit = limitOf(*confirmed, r.sensor.channel);
    track.limitAlarm = start(entry, r.timeMs, r.celsius, notices);
}

void AlarmEngine::judgeFault(SensorTrack& track, const SensorReading& reading, QList<AlarmNotice>& notices)
{
    QString reason;
    switch (reading.state) {
    case SensorState::NotRecognised:
        reason = FaultNotRecognised;
        break;
    case SensorState::NotWired:
        // Positions without a sensor are not faults: only one that had a value and lost it.
        if (track.hadValue)
            reason = FaultNotWired;
        break;
    case SensorState::NoValue:
        if (track.hadValue)
            reason = FaultNoValue;
        break;
    case SensorState::Ok:
        track.hadValue = true;
        if (reading.celsius && hundredths(*reading.celsius) == hundredths(PowerOnCelsius))
            ++track.powerOnRun;
        else
            track.powerOnRun = 0;
        if (m_rules.powerOnRepeats > 0 && track.powerOnRun >= m_rules.powerOnRepeats)
            reason = FaultPowerOn;
        break;
    }

    if (reason.isEmpty()) {
        track.faultHeld.reset();
        if (track.faultAlarm)
            end(track.faultAlarm, reading.timeMs, EndedBackInside, reading.celsius, notices);
        return;
    }
    if (!track.faultHeld)
        track.faultHeld = Held{reading.timeMs, 0};
    ++track.faultHeld->readings;
    if (track.faultAlarm || !m_rules.faultPersistence.reached(track.faultHeld->readings,
                                                              reading.timeMs - track.faultHeld->sinceMs))
        return;
    AlarmEntry entry;
    entry.kind = Kind::SensorFault;
    entry.level = Level::Alarm;
    entry.where = reading.sensor;
    entry.faultReason = reason;
    track.faultAlarm = start(entry, reading.timeMs, std::nullopt, notices);
}

void AlarmEngine::channelUnanswered(int station, qint64 timeMs)
{
    Q_UNUSED(timeMs);
    StationTrack& track = m_stations[station];
    track.askedThisRound = true;
    track.lastRound = m_round;
}

QList<AlarmNotice> AlarmEngine::roundEnded(qint64 timeMs)
{
    QList<AlarmNotice> notices;
    for (auto& [number, station] : m_stations) {
        if (station.askedThisRound && !station.answeredThisRound)
            ++station.silentRounds;
        station.askedThisRound = station.answeredThisRound = false;
        if (!station.silentAlarm && m_rules.silentRounds > 0 &&
            station.silentRounds >= m_rules.silentRounds) {
            AlarmEntry entry;
            entry.kind = Kind::StationSilent;
            entry.level = Level::Alarm;
            entry.where = {number, 0, 0};
            station.silentAlarm = start(entry, timeMs, std::nullopt, notices);
        }
    }
    ++m_round;

    // Rounds since the last in which it was read: 0 for what was read in the round just ended.
    const auto missed = [this](qint64 lastRound) { return m_round - 1 - lastRound; };
    for (auto it = m_sensors.begin(); it != m_sensors.end();) {
        SensorTrack& track = it->second;
        if (missed(track.lastRound) < m_rules.goneRounds) {
            ++it;
            continue;
        }
        if (track.limitAlarm)
            end(track.limitAlarm, timeMs, EndedNotRead, std::nullopt, notices);
        if (track.faultAlarm)
            end(track.faultAlarm, timeMs, EndedNotRead, std::nullopt, notices);
        it = m_sensors.erase(it);
    }
    for (auto it = m_stations.begin(); it != m_stations.end();) {
        if (missed(it->second.lastRound) < m_rules.goneRounds) {
            ++it;
            continue;
        }
        if (it->second.silentAlarm)
            end(it->second.silentAlarm, timeMs, EndedNotRead, std::nullopt, notices);
        it = m_stations.erase(it);
    }
    return notices;
}

QList<AlarmNotice> AlarmEngine::acknowledge(qint64 id, const QString& user, qint64 timeMs)
{
    QList<AlarmNotice> notices;
    const auto found = m_active.find(id);
    if (found == m_active.end() || found->second.ackedMs != 0)
        return notices;
    AlarmEntry& entry = found->second;
    entry.ackedBy = user;
    entry.ackedMs = timeMs;
    notices.append(notice(Event::Acknowledged, entry, timeMs, std::nullopt));
    return notices;
}

QList<AlarmNotice> AlarmEngine::acknowledgeAll(const QString& user, qint64 timeMs)
{
    QList<AlarmNotice> notices;
    QList<qint64> ids;
    for (const auto& [id, entry] : m_active)
        ids.append(id);
    for (qint64 id : ids)
        notices += acknowledge(id, user, timeMs);
    return notices;
}

bool AlarmEngine::inAlarm(const Sensor& sensor) const
{
    const auto found = m_sensors.find(sensor);
    return found != m_sensors.end() && (found->second.limitAlarm || found->second.faultAlarm);
}

QList<AlarmEntry> AlarmEngine::activeAlarms() const
{
    QList<AlarmEntry> entries;
    for (const auto& [id, entry] : m_active)
        entries.append(entry);
    return entries;
}

bool AlarmEngine::holds(const Condition& condition, const SensorReading& reading,
                        const std::optional<EarlierValue>& earlier, double margin) const
{
    const AlarmLimits& limits = condition.second == Level::Alarm ? m_limits : m_rules.warning;
    const std::optional<double> limit = limitOf(condition, reading.sensor.channel);
    if (!limit || !reading.celsius)
        return false;
    const qint64 value = hundredths(*reading.celsius);
    switch (condition.first) {
    case Kind::High:
        return value > hundredths(*limit - margin);
    case Kind::Low:
        return value < hundredths(*limit + margin);
    case Kind::Rise: {
        AlarmLimits riseOnly;
        riseOnly.risePerDay = limits.risePerDay;
        return brokenLimit({reading.sensor, reading.timeMs, reading.celsius}, earlier, riseOnly) ==
               Limit::Rise;
    }
    case Kind::SensorFault:
    case Kind::StationSilent:
        break;
    }
    return false;
}

std::optional<double> AlarmEngine::limitOf(const Condition& condition, int channel) const
{
    const AlarmLimits& limits = condition.second == Level::Alarm ? m_limits : m_rules.warning;
    switch (condition.first) {
    case Kind::High:
        return limits.forChannel(channel).high;
    case Kind::Low:
        return limits.forChannel(channel).low;
    case Kind::Rise:
        return limits.risePerDay;
    case Kind::SensorFault:
    case Kind::StationSilent:
        break;
    }
    return std::nullopt;
}

const Persistence& AlarmEngine::persistenceOf(Kind kind) const
{
    if (kind == Kind::Rise)
        return m_rules.risePersistence;
    if (kind == Kind::SensorFault)
        return m_rules.faultPersistence;
    return m_rules.limitPersistence;
}

qint64 AlarmEngine::start(AlarmEntry entry, qint64 timeMs, const std::optional<double>& value,
                          QList<AlarmNotice>& notices)
{
    entry.id = ++m_lastId;
    entry.startMs = timeMs;
    m_active[entry.id] = entry;
    notices.append(notice(Event::Started, entry, timeMs, value));
    return entry.id;
}

void AlarmEngine::end(qint64& id, qint64 timeMs, const QString& reason, const std::optional<double>& value,
                      QList<AlarmNotice>& notices)
{
    const auto found = m_active.find(id);
    id = 0;
    if (found == m_active.end())
        return;
    AlarmEntry entry = found->second;
    m_active.erase(found);
    entry.endMs = timeMs;
    entry.endReason = reason;
    notices.append(notice(Event::Ended, entry, timeMs, value));
}

AlarmNotice AlarmEngine::notice(Event event, const AlarmEntry& entry, qint64 timeMs,
                                const std::optional<double>& value) const
{
    AlarmNotice n;
    n.event = event;
    n.level = entry.level;
    n.kind = entry.kind;
    n.alarmId = entry.id;
    n.site = m_site;
    n.station = entry.where.station;
    n.channel = entry.where.channel;
    n.position = entry.where.position;
    n.startedAt = QDateTime::fromMSecsSinceEpoch(entry.startMs, Qt::UTC);
    n.at = QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC);
    n.hasValue = value.has_value();
    n.value = value.value_or(0);
    n.hasLimit = entry.limit.has_value();
    n.limit = entry.limit.value_or(0);
    n.peak = entry.peak.value_or(0);
    n.reason = event == Event::Ended ? entry.endReason : entry.faultReason;
    n.acknowledgedBy = entry.ackedBy;
    n.text = noticeText(n);
    return n;
}

} // namespace alarms
