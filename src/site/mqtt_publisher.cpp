#include "mqtt_publisher.h"

#include "mqtt_topics.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <mosquitto.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace site {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kConnackWaitMs = 10000; // a broker that takes the connection but never answers it
constexpr int kOfflineWaitMs = 1000;  // stop(): for the acknowledgement of "offline"
constexpr int kIdlePollMs = 1000;     // keep-alive checks while nothing happens
// stop() gives a thread stuck in connecting (an unreachable host) this much more, then leaves it.
constexpr int kStopGraceMs = 2000;
const QByteArray kOnline = "online";
const QByteArray kOffline = "offline";

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
    return int(std::clamp<qint64>(left, 0, kIdlePollMs));
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
        int mid = 0; // libmosquitto's message id while on its way
    };

    explicit MqttPublisherShared(const MqttOptions& o, MqttPublisher* publisher)
        : options(o), wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), owner(publisher)
    {
    }
    ~MqttPublisherShared()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    // Tells the network thread to look at the queue and the stop request.
    void wake()
    {
        if (!wakePending.exchange(true))
            ::eventfd_write(wakeFd, 1);
    }
    void takeWake()
    {
        eventfd_t count;
        ::eventfd_read(wakeFd, &count);
        wakePending = false;
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
    const int wakeFd;
    std::atomic<bool> wakePending{false};

    std::mutex mutex;        // guards everything below
    std::deque<Entry> queue; // oldest first; the first `inFlight` entries are on their way
    int inFlight = 0;
    qint64 published = 0;
    qint64 dropped = 0;
    bool closed = false;   // publish() queues nothing
    bool stopping = false; // the network thread is to finish
    Clock::time_point flushUntil;
    bool finished = false; // the network thread has ended
    std::condition_variable finishedChanged;
    MqttPublisher::State state = MqttPublisher::State::Off;
    QString reason;
    MqttPublisher* owner; // cleared before the publisher is destroyed
};

namespace {

// The network thread: a connection at a time, each over a fresh libmosquitto
// client, so that what was on its way over a broken one is sent again by the
// queue alone. Every libmosquitto call of a connection is made here.
class NetworkThread
{
public:
    explicit NetworkThread(std::shared_ptr<MqttPublisherShared> shared) : m_s(std::move(shared)) {}

    void run()
    {
        // A write to a connection the broker closed must fail, not end the program.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

        const MqttOptions& o = m_s->options;
        int delay = o.reconnectFirstMs;
        for (;;) {
            bool wasConnected = false;
            const QString why = connection(wasConnected);
            bool stopping;
            {
                std::lock_guard lock(m_s->mutex);
                for (int i = 0; i < m_s->inFlight; ++i)
                    m_s->queue[size_t(i)].mid = 0;
                m_s->inFlight = 0;
                stopping = m_s->stopping;
                if (!stopping)
                    m_s->setStateLocked(MqttPublisher::State::Reconnecting, why);
            }
            if (stopping)
                break;
            if (wasConnected)
                delay = o.reconnectFirstMs;
            if (!pause(delay))
                break;
            delay = std::min(delay * 2, o.reconnectLastMs);
        }
        std::lock_guard lock(m_s->mutex);
        m_s->setStateLocked(MqttPublisher::State::Off, QString());
        m_s->finished = true;
        m_s->finishedChanged.notify_all();
    }

private:
    // One connection from its attempt to its end; why it ended, empty when stopped.
    QString connection(bool& wasConnected)
    {
        const MqttOptions& o = m_s->options;
        Mosquitto client(mosquitto_new(clientId(o).constData(), true, this));
        if (!client)
            return describe(errno == ENOMEM ? MOSQ_ERR_NOMEM : MOSQ_ERR_INVAL);
        if (const QString problem = configure(client.get(), o); !problem.isEmpty())
            return problem;
        mosquitto_connect_callback_set(client.get(), &NetworkThread::onConnect);
        mosquitto_publish_callback_set(client.get(), &NetworkThread::onPublish);
        m_client = client.get();
        m_connected = false;
        m_refused.clear();
        m_offlineMid = -1;
        m_offlineAcked = false;

        int rc = mosquitto_connect(m_client, o.host.toUtf8().constData(), o.port, o.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS)
            return describe(rc);
        const int socket = mosquitto_socket(m_client);
        ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK); // writes must never wait
        const Clock::time_point answerBy = Clock::now() + milliseconds(kConnackWaitMs);

        for (;;) {
            if (m_connected) {
                wasConnected = true;
                if (rc = feed(); rc != MOSQ_ERR_SUCCESS)
                    return describe(rc);
            }
            bool stopping, drained;
            Clock::time_point flushUntil;
            {
                std::lock_guard lock(m_s->mutex);
                stopping = m_s->stopping;
                drained = m_s->queue.empty();
                flushUntil = m_s->flushUntil;
            }
            Clock::time_point wakeBy = Clock::now() + milliseconds(kIdlePollMs);
            if (stopping) {
                if (!m_connected)
                    return QString();
                const Clock::time_point offlineBy = flushUntil + milliseconds(kOfflineWaitMs);
                if (m_offlineMid < 0 && (drained || Clock::now() >= flushUntil)) {
                    rc = mosquitto_publish(m_client, &m_offlineMid, statusTopic(o.site, o.name).constData(),
                                           int(kOffline.size()), kOffline.constData(), 1, true);
                    if (rc != MOSQ_ERR_SUCCESS)
                        return QString();
                }
                if (m_offlineAcked || Clock::now() >= offlineBy) {
                    mosquitto_disconnect(m_client); // the broker forgets the last will
                    return QString();
                }
                wakeBy = std::min(wakeBy, m_offlineMid < 0 ? flushUntil : offlineBy);
            }
            if (!m_connected)
                wakeBy = std::min(wakeBy, answerBy);

            pollfd fds[2] = {{socket, short(POLLIN | (mosquitto_want_write(m_client) ? POLLOUT : 0)), 0},
                             {m_s->wakeFd, POLLIN, 0}};
            if (::poll(fds, 2, msUntil(wakeBy)) < 0 && errno != EINTR)
                return describe(MOSQ_ERR_ERRNO);
            if (fds[1].revents & POLLIN)
                m_s->takeWake();
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                if (rc = mosquitto_loop_read(m_client, 1); rc != MOSQ_ERR_SUCCESS)
                    return m_refused.isEmpty() ? describe(rc) : m_refused;
            }
            if (fds[0].revents & POLLOUT) {
                if (rc = mosquitto_loop_write(m_client, 1); rc != MOSQ_ERR_SUCCESS)
                    return describe(rc);
            }
            if (rc = mosquitto_loop_misc(m_client); rc != MOSQ_ERR_SUCCESS)
                return describe(rc);
            if (!m_refused.isEmpty())
                return m_refused;
            if (!m_connected && Clock::now() >= answerBy)
                return QStringLiteral("the broker did not answer the connection");
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
                                             int(entry.payload.size()), entry.payload.constData(), 1, false);
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

    // Waits `ms` before the next attempt; false when asked to stop meanwhile.
    bool pause(int ms)
    {
        const Clock::time_point until = Clock::now() + milliseconds(ms);
        for (;;) {
            {
                std::lock_guard lock(m_s->mutex);
                if (m_s->stopping)
                    return false;
            }
            if (Clock::now() >= until)
                return true;
            pollfd wake = {m_s->wakeFd, POLLIN, 0};
            if (::poll(&wake, 1, msUntil(until)) > 0)
                m_s->takeWake();
        }
    }

    // libmosquitto's callbacks, called from mosquitto_loop_read in this thread.
    static void onConnect(mosquitto*, void* self, int rc)
    {
        static_cast<NetworkThread*>(self)->connected(rc);
    }
    static void onPublish(mosquitto*, void* self, int mid)
    {
        static_cast<NetworkThread*>(self)->acknowledged(mid);
    }

    void connected(int rc)
    {
        if (rc != 0) {
            m_refused = QString::fromUtf8(mosquitto_connack_string(rc));
            return;
        }
        m_connected = true;
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
    stop();
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
}

QString MqttPublisher::start()
{
    if (m_thread.joinable())
        return QString();
    if (const QString problem = checkMqttOptions(m_options); !problem.isEmpty())
        return problem;
    if (m_shared->wakeFd < 0)
        return qt_error_string(errno);
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

bool MqttPublisher::publish(const QByteArray& topic, const QByteArray& payload)
{
    if (mosquitto_pub_topic_check2(topic.constData(), size_t(topic.size())) != MOSQ_ERR_SUCCESS ||
        mosquitto_validate_utf8(topic.constData(), int(topic.size())) != MOSQ_ERR_SUCCESS)
        return false;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->closed)
            return false;
        std::deque<MqttPublisherShared::Entry>& queue = m_shared->queue;
        queue.push_back({topic, payload, 0});
        if (queue.size() > size_t(m_options.queueBound)) {
            // The oldest not on its way, the new one when all others are: what is on
            // its way stays until the broker acknowledges it or the connection breaks.
            queue.erase(queue.begin() + m_shared->inFlight);
            ++m_shared->dropped;
        }
    }
    m_shared->wake();
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
    std::unique_lock lock(m_shared->mutex);
    m_shared->closed = true;
    if (m_thread.joinable()) {
        const Clock::time_point now = Clock::now();
        m_shared->stopping = true;
        m_shared->flushUntil = now + milliseconds(flushMs);
        m_shared->wake();
        const bool ended = m_shared->finishedChanged.wait_until(
            lock, now + milliseconds(flushMs + kOfflineWaitMs + kStopGraceMs),
            [this] { return m_shared->finished; });
        lock.unlock();
        if (ended)
            m_thread.join();
        else
            m_thread.detach(); // it ends when its connection attempt does, touching only what it shares
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
    return {qint64(m_shared->queue.size()), m_shared->published, m_shared->dropped};
}

} // namespace site
