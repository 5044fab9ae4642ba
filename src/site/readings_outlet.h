#pragma once
// Where the window's judged temperature replies go besides the grid: their
// records (site::channelRecords) to the history's writer thread (a pass's as one
// batch when it ends, a single reading's as a batch of its own) and, when
// mqtt.set asks for it, to the broker. Nothing here waits: the writer and the
// publisher have threads of their own. Without widgets.

#include "mqtt_publisher.h"
#include "site_record.h"

#include "history/history_settings.h"
#include "history/history_writer.h"
#include "requests/request_core.h"

#include <QObject>
#include <QString>
#include <memory>

namespace site {

class ReadingsOutlet : public QObject
{
    Q_OBJECT
public:
    // What the window waits for the broker when it closes, at most.
    static constexpr int CloseFlushMs = MqttPublisher::ClosingFlushMs;

    explicit ReadingsOutlet(QObject* parent = nullptr);
    ~ReadingsOutlet() override;

    // Reads history.set and mqtt.set from `folder` (the history's database is
    // kept there too) and starts publishing when mqtt.set asks for it.
    void load(const QString& folder);

    const history::HistorySettings& historySettings() const { return m_historySettings; }
    QString databasePath() const { return m_databasePath; }
    // Why history.set could not be used (its defaults apply), or empty.
    QString historySetProblem() const { return m_historySetProblem; }
    // The publisher, when mqtt.set asked for one and it started; otherwise why not (or empty without mqtt.set).
    MqttPublisher* publisher() const { return m_publisher.get(); }
    QString brokerProblem() const { return m_brokerProblem; }
    // The history's writer, made with the first readings (null until then).
    history::HistoryRecorder* recorder() const { return m_recorder.get(); }

    // A temperature request's exchange ended with its reply judged: its records
    // at `timeMs` (at most `positions` readings), published at once; the
    // readings are kept for the pass's batch (`inPass`) or recorded now.
    ChannelRecords take(const requests::Exchange& exchange, int positions, bool inPass, qint64 timeMs);
    // The pass ended: its readings go to the history as one batch.
    void passEnded();
    // Alarm events go to the history's alarm record.
    void recordAlarms(const QVector<alarms::AlarmNotice>& notices);

    // Stops publishing, waiting at most `flushMs` for the broker to take what
    // is queued; returns what was left unacknowledged. The history's writer
    // writes what it was handed when the outlet goes.
    qint64 close(int flushMs = CloseFlushMs);

Q_SIGNALS:
    // The history's writer could not write (said once until it writes again).
    void historyFailed(const QString& text);
    // It writes again; `droppedRows` readings beyond its bound were lost meanwhile.
    void historyRecovered(qint64 droppedRows);
    // The readings the writer wrote.
    void recorded(const QVector<history::Reading>& readings);

private:
    void record(const QVector<history::Reading>& readings);
    history::HistoryRecorder& madeRecorder();

    QString m_databasePath;
    history::HistorySettings m_historySettings;
    QString m_historySetProblem;
    std::unique_ptr<MqttPublisher> m_publisher;
    QString m_brokerProblem;
    QVector<history::Reading> m_passReadings;
    std::unique_ptr<history::HistoryRecorder> m_recorder;
};

} // namespace site
