#pragma once
// Publishes readings to an MQTT broker without ever slowing the serial line:
// publish() only puts the message in a bounded queue, and a network thread of
// the publisher's own connects, sends and reconnects. Each value is sent with
// QoS 1 and leaves the queue only when the broker acknowledged it; what was on
// its way when the connection dropped is sent again after reconnecting (the
// broker may then see it twice, never not at all). While the broker is away
// the queue keeps up to its bound; beyond it the oldest messages not on their
// way are dropped and counted.
//
// A broker that refuses the login, or a TLS connection that fails (the
// broker's certificate not signed by the CA given, not for the host), ends the
// attempts: State::Failed, until the publisher is made anew.
//
// The reader's retained status topic says "online" while connected; the broker
// says "offline" for it (the last will) when the connection breaks, and stop()
// says it itself before disconnecting.

#include "mqtt_options.h"
#include "site_record.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <thread>

namespace site {

struct MqttPublisherShared; // the queue, counters and state the network thread shares

// Every message publish() queued is published, dropped or waiting.
struct MqttCounters
{
    qint64 waiting = 0;   // queued, not yet acknowledged by the broker (on their way included)
    qint64 published = 0; // acknowledged by the broker
    qint64 dropped = 0;   // never sent: the oldest beyond the queue bound, or too big for any broker
    qint64 attempts = 0;  // connections tried since start()
    qint64 onTheirWay = 0; // of the waiting, those handed to the connection (kept beyond the bound)
};

class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Off,          // not started, or stopped
        Connecting,   // the first attempt since start()
        Connected,    // the broker accepted the connection
        Reconnecting, // the connection failed or broke (see stateReason()); the next attempt waits its turn
        Failed,       // the broker refused the login, or TLS failed (see stateReason()): no further attempt
    };
    Q_ENUM(State)

    // What stop() gives the broker to acknowledge what is queued and "offline".
    static constexpr int DefaultFlushMs = 2000;
    // What the destructor gives it when the owner did not stop() first: an
    // owner going away (a window closing) is not held up longer.
    static constexpr int ClosingFlushMs = 500;
    // Messages handed to the connection and not yet acknowledged, at most.
    static constexpr int InFlightWindow = 100;

    explicit MqttPublisher(const MqttOptions& options, QObject* parent = nullptr);
    ~MqttPublisher() override; // stop(ClosingFlushMs)

    const MqttOptions& options() const { return m_options; }

    // Starts the network thread, which connects at once. An empty text when it
    // runs; otherwise why not (the options, the CA file), and nothing runs.
    QString start();

    // Queues a message for `topic` (QoS 1; retained when asked: an empty
    // retained payload clears the broker's retained message) and returns at once;
    // false, and nothing queued, once stopped or for a topic MQTT forbids.
    // Messages queued before start() go out once connected. Failed still
    // queues (within the bound), so the counters say what was not delivered.
    bool publish(const QByteArray& topic, const QByteArray& payload, bool retained = false);
    // Each reading to its value topic and a failure to its channel's error topic,
    // the JSON objects of site_record.h as payloads.
    void publishRecords(const ChannelRecords& records);

    // Gives the broker up to `flushMs` to acknowledge what is queued, says
    // "offline" (sent once all is acknowledged, or with the last quarter of
    // `flushMs` left) and disconnects. Returns within `flushMs` and a quarter
    // of a second, whatever the broker or the network do; a thread still
    // looking up the broker's host name is left to end by itself. Returns the
    // messages left unacknowledged (lost with the publisher). publish()
    // queues nothing afterwards.
    qint64 stop(int flushMs = DefaultFlushMs);

    // Safe from the thread that owns the publisher at any time.
    State state() const;
    // Why the last connection failed or broke, in libmosquitto's words (and OpenSSL's, for TLS).
    QString stateReason() const;
    MqttCounters counters() const;

Q_SIGNALS:
    // In the publisher's thread, in the order the states came.
    void stateChanged(site::MqttPublisher::State state, const QString& reason);

private:
    MqttOptions m_options;
    std::shared_ptr<MqttPublisherShared> m_shared;
    std::thread m_thread;
};

} // namespace site
