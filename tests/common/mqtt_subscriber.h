#pragma once
// A libmosquitto client for tests that subscribes to a topic filter and keeps
// every message the broker sends it. It runs in libmosquitto's own thread,
// reconnects by itself and subscribes again on each connection.

#include <QByteArray>
#include <QList>
#include <csignal>
#include <mosquitto.h>
#include <mutex>

class MqttSubscriber
{
public:
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    // With a `sessionId` the broker keeps the subscription, and queues what it
    // matches, while the subscriber is away (a session that is not clean).
    MqttSubscriber(quint16 port, const QByteArray& filter, const QByteArray& sessionId = {})
        : m_filter(filter)
    {
        static std::once_flag once;
        std::call_once(once, [] {
            mosquitto_lib_init();
            // libmosquitto's thread writes with write(): a broker the test stops must not end the test.
            std::signal(SIGPIPE, SIG_IGN);
        });
        m_client =
            mosquitto_new(sessionId.isEmpty() ? nullptr : sessionId.constData(), sessionId.isEmpty(), this);
        mosquitto_connect_callback_set(m_client, [](mosquitto* m, void* self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<MqttSubscriber*>(self)->m_filter.constData(), 1);
        });
        mosquitto_subscribe_callback_set(m_client, [](mosquitto*, void* self, int, int, const int*) {
            auto* subscriber = static_cast<MqttSubscriber*>(self);
            std::lock_guard lock(subscriber->m_mutex);
            subscriber->m_subscribed = true;
        });
        mosquitto_message_callback_set(m_client, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* subscriber = static_cast<MqttSubscriber*>(self);
            std::lock_guard lock(subscriber->m_mutex);
            subscriber->m_messages.append(
                {m->topic, QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
        });
        mosquitto_connect_async(m_client, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_client);
    }
    ~MqttSubscriber()
    {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, false);
        mosquitto_destroy(m_client);
    }

    // The broker acknowledged the subscription (the first time).
    bool subscribed() const
    {
        std::lock_guard lock(m_mutex);
        return m_subscribed;
    }
    QList<Message> messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    QList<QByteArray> payloads() const
    {
        QList<QByteArray> all;
        for (const Message& m : messages())
            all << m.payload;
        return all;
    }

private:
    const QByteArray m_filter;
    mosquitto* m_client = nullptr;
    mutable std::mutex m_mutex;
    bool m_subscribed = false;
    QList<Message> m_messages;
};
