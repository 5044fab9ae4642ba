#include "mqtt_publisher.h"

#include "mqtt_topics.h"
#include "wake_signal.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mosquitto.h>
#include <mutex>

namespace site {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A host that never completes the connection (a black-holed address) or a
// broker that takes it and never answers: the attempt ends, the next one waits its turn.
constexpr int kAnswerWaitMs = 10000;
constexpr int kIdleWaitMs = 1000; // keep-alive checks while nothing happens
// stop(): beyond its flush, for the woken thread to close its connection and end.
constexpr int kStopGraceMs = 250;
const QByteArray kOnline = "online";
const QByteArray kOffline = "offline";

// CONNACK codes of MQTT 3.1.1 that no further attempt changes: the protocol
// version, the client id, the user name or password, not authorised. Code 3,
// "server unavailable", passes.
bool refusalIsFinal(int connackCode)
{
    return connackCode == 1 || connackCode == 2 || connackCode == 4 || connackCode == 5;
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString describe(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return qt_error_string(errno);
    return QString::fromUtf8(mosquitto_strerror(rc));
}

int msUntil(Clock::time_point when)
{
    const auto left = std::chrono::duration_cast<milliseconds>(when - Clock::now()).count();
    return int(std::clamp<qint64>(left, 0, kIdleWaitMs));
}

QByteArray clientId(const MqttOptions& o)
{
    return "tq5900k-" + o.site.toUtf8() + '-' + o.name.toUtf8();
}

struct MosquittoDeleter
{
    void operator()(mosquitto* m) const { mosquitto_destroy(m); }
};
using Mosquitto = std::unique_ptr<mosquitto, MosquittoDeleter>;

// The login, TLS and last will of a connection; an empty text when all is set.
QString configure(mosquitto* m, const MqttOptions& o)
{
    int rc = MOSQ_ERR_SUCCESS;
    if (!o.user.isEmpty()) {
        const QByteArray password = o.password.toUtf8();
        rc = mosquitto_username_pw_set(m, o.user.toUtf8().constData(),
                                       o.password.isEmpty() ? nullptr : password.constData());
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("the user cannot be used: %1").arg(describe(rc));
    }
    if (!o.caFile.isEmpty()) {
        rc = mosquitto_tls_set(m, o.caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("the CA file %1 cannot be used: %2").arg(o.caFile, describe(rc));
    }
    const QByteArray status = statusTopic(o.site, o.name);
    rc = mosquitto_will_set(m, status.constData(), int(kOffline.size()), kOffline.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_int_option(m, MOSQ_OPT_SEND_MAXIMUM, MqttPublisher::InFlightWindow);
    if (rc != MOSQ_ERR_SUCCESS)
        return describe(rc);
    return QString();
}

} // namespace

struct MqttPublisherShared
{
    struct Entry
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
        int mid = 0; // libmosquitto's message id while on its way
    };

    explicit MqttPublisherShared(const MqttOptions& o, MqttPublisher* publisher)
        : options(o), owner(publisher)
    {
    }

    // Under the mutex: the state, and the owner told in its own thread.
    void setStateLocked(MqttPublisher::State newState, const QString& newReason)
    {
        if (state == newState && reason == newReason)
            return;
        state = newState;
        reason = newReason;
        if (MqttPublisher* publisher = owner)
            QMetaObject::invokeMethod(
                publisher,
                [publisher, newState, newReason] { emit publisher->stateChanged(newState, newReason); },
                Qt::QueuedConnection);
    }
    void setState(MqttPublisher::State newState, const QString& newReason)
    {
        std::lock_guard lock(mutex);
        setStateLocked(newState, newReason);
    }

    const MqttOptions options;
    WakeSignal wake; // the network thread looks at the queue and the stop request

    std::mutex mutex;        // guards everything below
    std::deque<Entry> queue; // oldest first; the first `inFlight` entries are on their way
    int inFlight = 0;
    qint64 published = 0;
    qint64 dropped = 0;
    qint64 attempts = 0;
    bool closed = false;            // publish() queues nothing
    bool stopping = false;          // the network thread is to finish
    Clock::time_point offlineBy;    // stopping: "offline" goes out by then, acknowledged or not
    Clock::time_point disconnectBy; // stopping: the connection ends by then
    bool finished = false;          // the network thread has ended
    std::condition_variable finishedChanged;
    MqttPublisher::State state = MqttPublisher::State::Off;
    QString reason;
    MqttPublisher* owner; // cleared before the publisher is destroyed
};

namespace {

// The network thread: a connection at a time, each over a fresh libmosquitto
// client, so that what was on its way over a broken one is sent again by the
// queue alone. Every libmosquitto call of a connection is made here, none of
// them blocking but the host name's look-up: the thread waits only in
// WakeSignal::wait, which stop() ends at once.
class NetworkThread
{
public:
    explicit NetworkThread(std::shared_ptr<MqttPublisherShared> shared) : m_s(std::move(shared)) {}

    void run()
    {
        WakeSignal::keepBrokenPipesFromEndingTheProgram();
        const MqttOptions& o = m_s->options;
        int delay = o.reconnectFirstMs;
        for (;;) {
            const Ending ending = connection();
            bool stopping;
            {
                std::lock_guard lock(m_s->mutex);
                for (int i = 0; i < m_s->inFlight; ++i)
                    m_s->queue[size_t(i)].mid = 0;
                m_s->inFlight = 0;
                stopping = m_s->stopping;
                if (!stopping)
                    m_s->setStateLocked(ending.final ? MqttPublisher::State::Failed
                                                     : MqttPublisher::State::Reconnecting,
                                        ending.why);
            }
            if (stopping)
                break;
            if (ending.wasConnected)
                delay = o.reconnectFirstMs;
            if (!pause(ending.final ? -1 : delay))
                break;
            delay = std::min(delay * 2, o.reconnectLastMs);
        }
        std::lock_guard lock(m_s->mutex);
        m_s->setStateLocked(MqttPublisher::State::Off, QString());
        m_s->finished = true;
        m_s->finishedChanged.notify_all();
    }

private:
    // How a connection ended.
    struct Ending
    {
        QString why;        // empty when stopped
        bool final = false; // no further attempt can succeed
        bool wasConnected = false;
    };

    // libmosquitto's error `rc` as an ending; TLS errors are final.
    Ending failure(int rc) const
    {
        QString why = describe(rc);
        const bool tls = rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE;
        if (tls && !m_libraryError.isEmpty())
            why += QStringLiteral(" (%1)").arg(m_libraryError);
        return {why, tls, m_connected};
    }

    // One connection from its attempt to its end.
    Ending connection()
    {
        const MqttOptions& o = m_s->options;
        Mosquitto client(mosquitto_new(clientId(o).constData(), true, this));
        if (!client)
            return {describe(errno == ENOMEM ? MOSQ_ERR_NOMEM : MOSQ_ERR_INVAL)};
        if (const QString problem = configure(client.get(), o); !problem.isEmpty())
            return {problem};
        mosquitto_connect_callback_set(client.get(), &NetworkThread::onConnect);
        mosquitto_publish_callback_set(client.get(), &NetworkThread::onPublish);
        mosquitto_log_callback_set(client.get(), &NetworkThread::onLog);
        m_client = client.get();
        m_connected = false;
        m_refused.clear();
        m_refusalFinal = false;
        m_libraryError.clear();
        m_offlineMid = -1;
        m_offlineAcked = false;
        {
            std::lock_guard lock(m_s->mutex);
            ++m_s->attempts;
        }

        // The socket is non-blocking from the start: connecting, and TLS's handshake, go on below.
        int rc = mosquitto_connect_async(m_client, o.host.toUtf8().constData(), o.port, o.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS)
            return failure(rc);
        const Clock::time_point answerBy = Clock::now() + milliseconds(kAnswerWaitMs);
        // Until the broker has answered, a write is waited for only once after
        // each read: a TLS handshake that waits for the broker's part goes on
        // saying it wants to write, and would wake the thread at once, again
        // and again, until that part comes.
        bool wroteSinceRead = false;

        for (;;) {
            if (m_connected) {
                if (rc = feed(); rc != MOSQ_ERR_SUCCESS)
                    return failure(rc);
            }
            bool stopping, drained;
            Clock::time_point offlineBy, disconnectBy;
            {
                std::lock_guard lock(m_s->mutex);
                stopping = m_s->stopping;
                drained = m_s->queue.empty();
                offlineBy = m_s->offlineBy;
                disconnectBy = m_s->disconnectBy;
            }
            Clock::time_point wakeBy = Clock::now() + milliseconds(kIdleWaitMs);
            if (stopping) {
                if (!m_connected)
                    return {};
                if (m_offlineMid < 0 && (drained || Clock::now() >= offlineBy)) {
                    rc = mosquitto_publish(m_client, &m_offlineMid, statusTopic(o.site, o.name).constData(),
                                           int(kOffline.size()), kOffline.constData(), 1, true);
                    if (rc != MOSQ_ERR_SUCCESS)
                        return {};
                }
                if (m_offlineAcked || Clock::now() >= disconnectBy) {
                    mosquitto_disconnect(m_client); // the broker forgets the last will
                    return {};
                }
                wakeBy = std::min(wakeBy, m_offlineMid < 0 ? offlineBy : disconnectBy);
            }
            if (!m_connected)
                wakeBy = std::min(wakeBy, answerBy);

            const bool wantWrite = mosquitto_want_write(m_client) && (m_connected || !wroteSinceRead);
            WakeSignal::Ready ready;
            if (!m_s->wake.wait(mosquitto_socket(m_client), wantWrite, msUntil(wakeBy), ready))
                return failure(MOSQ_ERR_ERRNO);
            // Until the broker answers, the TLS handshake goes on in loop_read, whichever way the socket is.
            if (ready.readable || (ready.writable && !m_connected)) {
                if (rc = mosquitto_loop_read(m_client, 1); rc != MOSQ_ERR_SUCCESS)
                    return m_refused.isEmpty() ? failure(rc) : Ending{m_refused, m_refusalFinal, false};
                wroteSinceRead = false;
            }
            if (ready.writable) {
                if (rc = mosquitto_loop_write(m_client, 1); rc != MOSQ_ERR_SUCCESS)
                    return failure(rc);
                wroteSinceRead = true;
            }
            if (rc = mosquitto_loop_misc(m_client); rc != MOSQ_ERR_SUCCESS)
                return failure(rc);
            if (!m_refused.isEmpty())
                return {m_refused, m_refusalFinal, false};
            if (!m_connected && Clock::now() >= answerBy)
                return {QStringLiteral("the broker did not answer the connection")};
        }
    }

    // Hands queued messages to the connection while fewer than the window are on their way.
    int feed()
    {
        for (;;) {
            std::lock_guard lock(m_s->mutex);
            if (m_s->inFlight >= MqttPublisher::InFlightWindow || size_t(m_s->inFlight) >= m_s->queue.size())
                return MOSQ_ERR_SUCCESS;
            MqttPublisherShared::Entry& entry = m_s->queue[size_t(m_s->inFlight)];
            const int rc = mosquitto_publish(m_client, &entry.mid, entry.topic.constData(),
                                             int(entry.payload.size()), entry.payload.constData(), 1, entry.retained);
            if (rc == MOSQ_ERR_SUCCESS) {
                ++m_s->inFlight;
            } else if (rc == MOSQ_ERR_PAYLOAD_SIZE || rc == MOSQ_ERR_OVERSIZE_PACKET) {
                // No broker will ever take it: waiting for one would hold the queue forever.
                m_s->queue.erase(m_s->queue.begin() + m_s->inFlight);
                ++m_s->dropped;
            } else {
                return rc; // the connection broke; the message goes again on the next one
            }
        }
    }

    // Waits `ms` (negative: until stopped) before the next attempt; false when asked to stop meanwhile.
    bool pause(int ms)
    {
        const Clock::time_point until = Clock::now() + milliseconds(std::max(ms, 0));
        for (;;) {
            {
                std::lock_guard lock(m_s->mutex);
                if (m_s->stopping)
                    return false;
            }
            if (ms >= 0 && Clock::now() >= until)
                return true;
            const qint64 left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
            WakeSignal::Ready ready;
            m_s->wake.wait(-1, false, ms < 0 ? -1 : int(std::max<qint64>(left, 0)), ready);
        }
    }

    // libmosquitto's callbacks, called from its functions in this thread.
    static void onConnect(mosquitto*, void* self, int rc)
    {
        static_cast<NetworkThread*>(self)->connected(rc);
    }
    static void onPublish(mosquitto*, void* self, int mid)
    {
        static_cast<NetworkThread*>(self)->acknowledged(mid);
    }
    static void onLog(mosquitto*, void* self, int level, const char* text)
    {
        // The first error of a connection: what OpenSSL said of a failed TLS handshake.
        auto* thread = static_cast<NetworkThread*>(self);
        if (level == MOSQ_LOG_ERR && thread->m_libraryError.isEmpty())
            thread->m_libraryError = QString::fromUtf8(text);
    }

    void connected(int rc)
    {
        if (rc != 0) {
            m_refused = QString::fromUtf8(mosquitto_connack_string(rc));
            m_refusalFinal = refusalIsFinal(rc);
            return;
        }
        m_connected = true;
        mosquitto_log_callback_set(m_client, nullptr); // a line for every packet from now on, none wanted
        m_s->setState(MqttPublisher::State::Connected, QString());
        const MqttOptions& o = m_s->options;
        // Sent when this callback returns; a failure breaks the connection, and the next says it again.
        mosquitto_publish(m_client, nullptr, statusTopic(o.site, o.name).constData(), int(kOnline.size()),
                          kOnline.constData(), 1, true);
    }

    void acknowledged(int mid)
    {
        if (mid == m_offlineMid) {
            m_offlineAcked = true;
            return;
        }
        std::lock_guard lock(m_s->mutex);
        for (int i = 0; i < m_s->inFlight; ++i) {
            if (m_s->queue[size_t(i)].mid == mid) {
                m_s->queue.erase(m_s->queue.begin() + i);
                --m_s->inFlight;
                ++m_s->published;
                return;
            }
        }
    }

    const std::shared_ptr<MqttPublisherShared> m_s;
    mosquitto* m_client = nullptr; // the current connection's client
    bool m_connected = false;      // the broker accepted it
    QString m_refused;             // why the broker refused it
    bool m_refusalFinal = false;   // and no further attempt can succeed
    QString m_libraryError;        // libmosquitto's first error message of the connection
    int m_offlineMid = -1;
    bool m_offlineAcked = false;
};

} // namespace

MqttPublisher::MqttPublisher(const MqttOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_shared(std::make_shared<MqttPublisherShared>(options, this))
{
    initLibrary();
}

MqttPublisher::~MqttPublisher()
{
    stop(ClosingFlushMs);
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
}

QString MqttPublisher::start()
{
    if (m_thread.joinable())
        return QString();
    if (const QString problem = checkMqttOptions(m_options); !problem.isEmpty())
        return problem;
    if (const QString problem = m_shared->wake.problem(); !problem.isEmpty())
        return problem;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->closed)
            return QStringLiteral("the publisher was stopped");
    }
    // The connections are configured alike: a CA file that cannot be read is said here, once.
    Mosquitto probe(mosquitto_new(clientId(m_options).constData(), true, nullptr));
    if (!probe)
        return describe(MOSQ_ERR_NOMEM);
    if (const QString problem = configure(probe.get(), m_options); !problem.isEmpty())
        return problem;
    m_shared->setState(State::Connecting, QString());
    m_thread = std::thread([shared = m_shared] { NetworkThread(shared).run(); });
    return QString();
}

bool MqttPublisher::publish(const QByteArray& topic, const QByteArray& payload, bool retained)
{
    if (mosquitto_pub_topic_check2(topic.constData(), size_t(topic.size())) != MOSQ_ERR_SUCCESS ||
        mosquitto_validate_utf8(topic.constData(), int(topic.size())) != MOSQ_ERR_SUCCESS)
        return false;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->closed)
            return false;
        std::deque<MqttPublisherShared::Entry>& queue = m_shared->queue;
        queue.push_back({topic, payload, retained, 0});
        if (queue.size() > size_t(m_options.queueBound)) {
            // The oldest not on its way, the new one when all others are: what is on
            // its way stays until the broker acknowledges it or the connection breaks.
            queue.erase(queue.begin() + m_shared->inFlight);
            ++m_shared->dropped;
        }
    }
    m_shared->wake.wake();
    return true;
}

void MqttPublisher::publishRecords(const ChannelRecords& records)
{
    const QString& site = m_options.site;
    for (const history::Reading& r : records.readings)
        publish(valueTopic(site, r.station, r.channel, r.position), jsonObject(r));
    if (const std::optional<ChannelFailure>& f = records.failure)
        publish(errorTopic(site, f->station, f->channel), jsonObject(*f));
}

qint64 MqttPublisher::stop(int flushMs)
{
    flushMs = std::max(flushMs, 0);
    std::unique_lock lock(m_shared->mutex);
    m_shared->closed = true;
    if (m_thread.joinable()) {
        const Clock::time_point disconnectBy = Clock::now() + milliseconds(flushMs);
        m_shared->stopping = true;
        m_shared->offlineBy = disconnectBy - milliseconds(flushMs / 4);
        m_shared->disconnectBy = disconnectBy;
        m_shared->wake.wake();
        const bool ended = m_shared->finishedChanged.wait_until(
            lock, disconnectBy + milliseconds(kStopGraceMs), [this] { return m_shared->finished; });
        lock.unlock();
        if (ended)
            m_thread.join();
        else
            m_thread.detach(); // in the host name's look-up; it ends after it, touching only what it shares
        lock.lock();
    }
    return qint64(m_shared->queue.size());
}

MqttPublisher::State MqttPublisher::state() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->state;
}

QString MqttPublisher::stateReason() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->reason;
}

MqttCounters MqttPublisher::counters() const
{
    std::lock_guard lock(m_shared->mutex);
    return {qint64(m_shared->queue.size()), m_shared->published, m_shared->dropped, m_shared->attempts,
            qint64(m_shared->inFlight)};
}

} // namespace site
