#include "readings_outlet.h"

#include "mqtt_settings.h"

#include "history/history_store.h"

namespace site {

ReadingsOutlet::ReadingsOutlet(QObject* parent) : QObject(parent) {}

ReadingsOutlet::~ReadingsOutlet()
{
    close(0);
}

void ReadingsOutlet::load(const QString& folder)
{
    const history::HistorySetLoad history = history::loadHistorySet(folder);
    m_historySettings = history.values;
    m_databasePath = history::HistoryStore::pathIn(folder);
    if (history.status == config::SettingsLoad::Unreadable)
        m_historySetProblem = history.errorText;

    const MqttSetLoad mqtt = loadMqttSet(folder);
    if (mqtt.status == config::SettingsLoad::Unreadable) {
        m_brokerProblem = mqtt.errorText;
        return;
    }
    if (mqtt.status == config::SettingsLoad::Missing)
        return;
    m_publisher = std::make_unique<MqttPublisher>(mqtt.options);
    if (const QString problem = m_publisher->start(); !problem.isEmpty()) {
        m_publisher.reset();
        m_brokerProblem = QStringLiteral("消息代理设置文件 %1 的设置无法使用（%2），读数未发布到消息代理")
                              .arg(mqtt.path, problem);
    }
}

ChannelRecords ReadingsOutlet::take(const requests::Exchange& exchange, int positions, bool inPass,
                                    qint64 timeMs)
{
    const ChannelRecords records = channelRecords(exchange.reply, exchange.request, positions, timeMs);
    if (m_publisher)
        m_publisher->publishRecords(records);
    if (inPass)
        m_passReadings += records.readings;
    else
        record(records.readings);
    return records;
}

void ReadingsOutlet::passEnded()
{
    record(m_passReadings);
    m_passReadings.clear();
}

qint64 ReadingsOutlet::close(int flushMs)
{
    if (!m_publisher)
        return 0;
    const qint64 left = m_publisher->stop(flushMs);
    m_publisher.reset();
    return left;
}

void ReadingsOutlet::record(const QVector<history::Reading>& readings)
{
    if (readings.isEmpty())
        return;
    madeRecorder().record(readings);
}

void ReadingsOutlet::recordAlarms(const QVector<alarms::AlarmNotice>& notices)
{
    if (!notices.isEmpty())
        madeRecorder().recordAlarms(notices);
}

history::HistoryRecorder& ReadingsOutlet::madeRecorder()
{
    if (!m_recorder) {
        m_recorder = std::make_unique<history::HistoryRecorder>(m_databasePath, m_historySettings);
        connect(m_recorder.get(), &history::HistoryRecorder::failed, this, &ReadingsOutlet::historyFailed);
        connect(m_recorder.get(), &history::HistoryRecorder::recovered, this, &ReadingsOutlet::historyRecovered);
        connect(m_recorder.get(), &history::HistoryRecorder::recorded, this, &ReadingsOutlet::recorded);
    }
    return *m_recorder;
}

} // namespace site
