#pragma once
// Sends alarm events by e-mail and to webhooks without ever holding up the
// caller: deliver() queues and returns, and a sending thread of the delivery's
// own talks to the SMTP server and the webhook receivers through libcurl. Each
// destination (the mail, each webhook URL) has a bounded queue of its own, so
// one that cannot be reached holds up no other. A failed attempt is tried
// again after a wait that doubles from retryFirstMs to retryLastMs; nothing
// leaves a queue before its destination took it, unless the queue is full
// (the oldest is dropped and counted). A refused login, a TLS failure or a
// webhook URL the receiver says does not exist ends the destination's
// attempts (State::Failed) until the delivery is made anew.
//
// The e-mail gathers the events of gatherMs after the first into one message.
// With a broker, every event is also published there at once (MqttAlarmState).

#include "alarm_messages.h"
#include "alarms/alarm_notice.h"
#include "destination_status.h"
#include "notify_settings.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <thread>

namespace site {
class MqttPublisher;
}

namespace notify {

struct DeliveryShared; // the queues, counters and states the sending thread shares

class AlarmDelivery : public QObject
{
    Q_OBJECT
public:
    // What stop() gives the destinations to take what is waiting.
    static constexpr int DefaultFlushMs = 2000;
    static constexpr int ClosingFlushMs = 500;

    explicit AlarmDelivery(const NotifySettings& settings, QObject* parent = nullptr);
    ~AlarmDelivery() override; // stop(ClosingFlushMs)

    const NotifySettings& settings() const { return m_settings; }

    // Also publishes every event to this broker (retained per alarm in force,
    // see MqttAlarmState). The publisher must outlive the delivery or be
    // destroyed first; it is used from the thread deliver() is called from.
    void setMqttPublisher(site::MqttPublisher* publisher);

    // Starts the sending thread. An empty text when it runs; otherwise why not.
    QString start();

    // Queues the event for every destination and returns at once. Call it
    // from one thread (the window's or the reader's). False once stopped.
    bool deliver(const alarms::AlarmNotice& notice);

    // Sends a test message to every destination at once, tried once; each
    // result comes as testFinished.
    void sendTest(const QString& site);

    // Gives the destinations up to `flushMs` to take what is waiting (the
    // gathered events go out at once; one whose last attempt failed is not
    // waited for) and ends the thread: an attempt still running then is cut
    // off. Returns the events left waiting.
    qint64 stop(int flushMs = DefaultFlushMs);

    QList<DestinationStatus> status() const;

Q_SIGNALS:
    // In the delivery's thread, after each attempt and each event handed over.
    void statusChanged();
    // The result of sendTest() for one destination: an empty error when it took the message.
    void testFinished(const QString& destination, const QString& error);

private:
    NotifySettings m_settings;
    std::shared_ptr<DeliveryShared> m_shared;
    std::thread m_thread;
    QPointer<site::MqttPublisher> m_publisher;
    MqttAlarmState m_mqttState;
};

} // namespace notify
