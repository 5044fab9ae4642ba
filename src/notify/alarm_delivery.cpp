#include "alarm_delivery.h"

#include "site/mqtt_publisher.h"

#include <QMetaObject>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <curl/curl.h>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace notify {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using alarms::AlarmNotice;

// stop(): after its flush, for a cut-off attempt to end; one that takes longer
// (libcurl asks about once a second) ends by itself, detached.
constexpr int kStopGraceMs = 250;
constexpr int kConnectTimeoutMs = 10000;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Job
{
    QByteArray body;    // the whole e-mail, or the webhook's JSON
    qint64 events = 1;  // the events it carries; 0 for a test
    bool test = false;
};

struct Destination
{
    enum class Kind { Mail, Webhook };
    Kind kind = Kind::Webhook;
    QString url;
    std::deque<Job> jobs; // oldest first; the first is being sent while `sending`
    bool sending = false;
    Clock::time_point nextAttempt;
    int delayMs = 0;
    QList<AlarmNotice> gathered; // the mail's events for its next message
    Clock::time_point gatherEnds;
    DestinationStatus status;

    qint64 waitingEvents() const
    {
        qint64 events = gathered.size();
        for (const Job& job : jobs)
            events += job.events;
        return events;
    }
};

// How an attempt ended.
struct Outcome
{
    enum Kind { Taken, Retry, Refused /* this message, never: dropped */, Final /* the destination */ };
    Kind kind = Taken;
    QString error;
};

} // namespace

struct DeliveryShared
{
    DeliveryShared(const NotifySettings& s, AlarmDelivery* delivery) : settings(s), owner(delivery) {}

    void tellOwner(const std::function<void(AlarmDelivery*)>& what)
    {
        if (AlarmDelivery* delivery = owner)
            QMetaObject::invokeMethod(delivery, [delivery, what] { what(delivery); }, Qt::QueuedConnection);
    }

    const NotifySettings settings;
    std::atomic<bool> cutOff{false}; // the attempt running is to end now

    std::mutex mutex; // guards everything below
    std::condition_variable changed;
    std::vector<Destination> destinations; // fixed once made
    bool closed = false;
    bool stopping = false;
    Clock::time_point flushBy;
    bool finished = false;
    AlarmDelivery* owner; // cleared before the delivery is destroyed
};

namespace {

struct Upload
{
    const QByteArray& bytes;
    qsizetype sent = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* data)
{
    auto* upload = static_cast<Upload*>(data);
    const size_t n = std::min<size_t>(size * count, size_t(upload->bytes.size() - upload->sent));
    std::copy_n(upload->bytes.constData() + upload->sent, n, buffer);
    upload->sent += qsizetype(n);
    return n;
}

size_t keepReply(char* data, size_t size, size_t count, void* reply)
{
    auto* text = static_cast<QByteArray*>(reply);
    if (text->size() < 512)
        text->append(data, qsizetype(std::min<size_t>(size * count, 512)));
    return size * count;
}

int progress(void* shared, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<DeliveryShared*>(shared)->cutOff ? 1 : 0;
}

// Errors no further attempt changes: the settings or the server's identity are wrong.
bool isFinal(CURLcode code)
{
    switch (code) {
    case CURLE_LOGIN_DENIED:
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_USE_SSL_FAILED:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        return true;
    default:
        return false;
    }
}

struct CurlDeleter
{
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter
{
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

class Attempt
{
public:
    Attempt(DeliveryShared& shared, const QString& url) : m_curl(curl_easy_init())
    {
        m_error[0] = 0;
        if (!m_curl)
            return;
        const NotifySettings& s = shared.settings;
        m_url = url.toUtf8();
        curl_easy_setopt(m_curl.get(), CURLOPT_URL, m_url.constData());
        curl_easy_setopt(m_curl.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl.get(), CURLOPT_CONNECTTIMEOUT_MS, long(std::min(kConnectTimeoutMs, s.attemptTimeoutMs)));
        curl_easy_setopt(m_curl.get(), CURLOPT_TIMEOUT_MS, long(s.attemptTimeoutMs));
        curl_easy_setopt(m_curl.get(), CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_curl.get(), CURLOPT_XFERINFOFUNCTION, &progress);
        curl_easy_setopt(m_curl.get(), CURLOPT_XFERINFODATA, &shared);
        curl_easy_setopt(m_curl.get(), CURLOPT_ERRORBUFFER, m_error);
    }

    // libcurl could not make a handle (out of memory): the attempt fails and is made again.
    static Outcome noHandle() { return {Outcome::Retry, QStringLiteral("curl_easy_init failed")}; }

    Outcome sendMail(const NotifySettings& s, const QByteArray& message)
    {
        CURL* c = m_curl.get();
        if (!c)
            return noHandle();
        if (s.smtpSecurity != SmtpSecurity::None)
            curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        const QByteArray user = s.smtpUser.toUtf8(), password = s.smtpPassword.toUtf8();
        const QByteArray ca = s.smtpCaFile.toLocal8Bit();
        const QByteArray from = '<' + s.mailFrom.toUtf8() + '>';
        if (!user.isEmpty()) {
            curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
            curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        }
        if (!ca.isEmpty())
            curl_easy_setopt(c, CURLOPT_CAINFO, ca.constData());
        curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
        std::unique_ptr<curl_slist, SlistDeleter> receivers;
        for (const QString& to : s.mailTo)
            receivers.reset(curl_slist_append(receivers.release(), ('<' + to.toUtf8() + '>').constData()));
        curl_easy_setopt(c, CURLOPT_MAIL_RCPT, receivers.get());
        Upload upload{message};
        curl_easy_setopt(c, CURLOPT_READFUNCTION, &readUpload);
        curl_easy_setopt(c, CURLOPT_READDATA, &upload);
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        const CURLcode code = curl_easy_perform(c);
        if (code == CURLE_OK)
            return {};
        return {isFinal(code) ? Outcome::Final : Outcome::Retry, describe(code)};
    }

    Outcome post(const QByteArray& body)
    {
        CURL* c = m_curl.get();
        if (!c)
            return noHandle();
        std::unique_ptr<curl_slist, SlistDeleter> headers(
            curl_slist_append(nullptr, "Content-Type: application/json; charset=utf-8"));
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
        curl_easy_setopt(c, CURLOPT_USERAGENT, "tq5900k");
        QByteArray reply;
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &keepReply);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);
        const CURLcode code = curl_easy_perform(c);
        if (code != CURLE_OK)
            return {isFinal(code) ? Outcome::Final : Outcome::Retry, describe(code)};
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200 && status < 300)
            return {};
        const QString error = QStringLiteral("HTTP %1 %2").arg(status).arg(QString::fromUtf8(reply).simplified());
        // No such receiver, or no leave to post there: the URL or its key is wrong.
        if (status == 401 || status == 403 || status == 404 || status == 410)
            return {Outcome::Final, error};
        // The receiver will never take this body; the next may be taken.
        if (status >= 400 && status < 500 && status != 408 && status != 429)
            return {Outcome::Refused, error};
        return {Outcome::Retry, error};
    }

private:
    QString describe(CURLcode code) const
    {
        const QString detail = QString::fromUtf8(m_error).trimmed();
        return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
    }

    std::unique_ptr<CURL, CurlDeleter> m_curl;
    QByteArray m_url;
    char m_error[CURL_ERROR_SIZE];
};

// Drops the oldest events beyond the bound, never the message being sent.
void keepWithinBound(Destination& d, int bound)
{
    while (d.waitingEvents() > bound) {
        const size_t first = d.sending ? 1 : 0;
        if (d.jobs.size() > first) {
            d.status.dropped += d.jobs[first].events;
            d.jobs.erase(d.jobs.begin() + qsizetype(first));
        } else if (!d.gathered.isEmpty()) {
            d.gathered.removeFirst();
            ++d.status.dropped;
        } else {
            return;
        }
    }
}

class SendingThread
{
public:
    explicit SendingThread(std::shared_ptr<DeliveryShared> shared) : m_s(std::move(shared)) {}

    void run()
    {
        std::unique_lock lock(m_s->mutex);
        for (;;) {
            const Clock::time_point now = Clock::now();
            closeGatherings(now);
            if (m_s->stopping && (nothingWaiting() || now >= m_s->flushBy))
                break;
            Clock::time_point wakeAt = now + std::chrono::hours(1);
            size_t next = m_s->destinations.size();
            for (size_t i = 0; i < m_s->destinations.size() && next == m_s->destinations.size(); ++i) {
                const Destination& d = m_s->destinations[i];
                if (!d.gathered.isEmpty())
                    wakeAt = std::min(wakeAt, d.gatherEnds);
                if (d.jobs.empty() || (d.status.state == DestinationStatus::State::Failed && !d.jobs.front().test))
                    continue;
                if (d.nextAttempt <= now)
                    next = i;
                else
                    wakeAt = std::min(wakeAt, d.nextAttempt);
            }
            if (m_s->stopping)
                wakeAt = std::min(wakeAt, m_s->flushBy);
            if (next == m_s->destinations.size()) {
                m_s->changed.wait_until(lock, wakeAt);
                continue;
            }
            attempt(next, lock);
        }
        m_s->finished = true;
        m_s->changed.notify_all();
    }

private:
    // Events gathered long enough (or all of them, when stopping) become one e-mail.
    void closeGatherings(Clock::time_point now)
    {
        const NotifySettings& s = m_s->settings;
        for (Destination& d : m_s->destinations) {
            if (d.gathered.isEmpty() || (now < d.gatherEnds && !m_s->stopping))
                continue;
            const QByteArray id = QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@tq5900k";
            d.jobs.push_back({mailMessage(alarmMail(d.gathered), s.mailFrom, s.mailTo,
                                          QDateTime::currentDateTime(), id),
                              qint64(d.gathered.size()), false});
            d.gathered.clear();
        }
    }

    // Stopping: whether no destination that works has anything left to take.
    // One whose last attempt failed is not waited for.
    bool nothingWaiting() const
    {
        for (const Destination& d : m_s->destinations)
            if (!d.jobs.empty() && d.status.state == DestinationStatus::State::Idle)
                return false;
        return true;
    }

    void attempt(size_t index, std::unique_lock<std::mutex>& lock)
    {
        Destination& d = m_s->destinations[index];
        d.sending = true;
        const Job job = d.jobs.front();
        const Destination::Kind kind = d.kind;
        const QString url = d.url;
        lock.unlock();
        Outcome outcome;
        {
            Attempt attempt(*m_s, url);
            outcome = kind == Destination::Kind::Mail ? attempt.sendMail(m_s->settings, job.body)
                                                      : attempt.post(job.body);
        }
        lock.lock();
        d.sending = false;
        const QString name = d.status.name;
        const NotifySettings& s = m_s->settings;
        if (job.test) {
            d.jobs.pop_front();
            const QString error = outcome.kind == Outcome::Taken ? QString() : outcome.error;
            m_s->tellOwner([name, error](AlarmDelivery* delivery) { emit delivery->testFinished(name, error); });
        } else if (outcome.kind == Outcome::Taken || outcome.kind == Outcome::Refused) {
            d.jobs.pop_front();
            if (outcome.kind == Outcome::Taken) {
                d.status.delivered += job.events;
                d.status.state = DestinationStatus::State::Idle;
            } else {
                d.status.dropped += job.events;
                d.status.lastError = outcome.error;
            }
            d.delayMs = s.retryFirstMs;
        } else {
            ++d.status.failedAttempts;
            d.status.lastError = outcome.error;
            if (outcome.kind == Outcome::Final) {
                d.status.state = DestinationStatus::State::Failed;
            } else {
                d.status.state = DestinationStatus::State::Retrying;
                d.nextAttempt = Clock::now() + milliseconds(d.delayMs);
                d.delayMs = std::min(d.delayMs * 2, s.retryLastMs);
            }
        }
        m_s->tellOwner([](AlarmDelivery* delivery) { emit delivery->statusChanged(); });
    }

    const std::shared_ptr<DeliveryShared> m_s;
};

} // namespace

AlarmDelivery::AlarmDelivery(const NotifySettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_shared(std::make_shared<DeliveryShared>(settings, this))
{
    initLibrary();
    const auto add = [this](Destination::Kind kind, const QString& url, const QString& name) {
        Destination d;
        d.kind = kind;
        d.url = url;
        d.delayMs = m_settings.retryFirstMs;
        d.status.name = name;
        m_shared->destinations.push_back(d);
    };
    if (m_settings.mailConfigured())
        add(Destination::Kind::Mail, smtpUrl(m_settings), QStringLiteral("邮件 %1").arg(smtpUrl(m_settings)));
    for (const QString& url : m_settings.webhooks)
        add(Destination::Kind::Webhook, url, QStringLiteral("webhook %1").arg(url));
}

AlarmDelivery::~AlarmDelivery()
{
    stop(ClosingFlushMs);
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
}

void AlarmDelivery::setMqttPublisher(site::MqttPublisher* publisher)
{
    m_publisher = publisher;
}

QString AlarmDelivery::start()
{
    if (m_thread.joinable())
        return QString();
    if (const std::optional<NotifySetError> wrong = checkNotifySettings(m_settings))
        return QStringLiteral("%1 不可用（%2）").arg(wrong->field, wrong->rule);
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->closed)
            return QStringLiteral("已停止");
    }
    m_thread = std::thread([shared = m_shared] { SendingThread(shared).run(); });
    return QString();
}

bool AlarmDelivery::deliver(const AlarmNotice& notice)
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->closed)
            return false;
        for (Destination& d : m_shared->destinations) {
            if (d.kind == Destination::Kind::Mail) {
                if (d.gathered.isEmpty())
                    d.gatherEnds = Clock::now() + milliseconds(m_settings.gatherMs);
                d.gathered.append(notice);
            } else {
                d.jobs.push_back({webhookBody(notice), 1, false});
            }
            keepWithinBound(d, m_settings.queueBound);
        }
    }
    m_shared->changed.notify_all();
    emit statusChanged(); // the events waiting grew
    if (m_publisher) {
        for (const MqttAlarmMessage& m : m_mqttState.messagesFor(notice, m_publisher->options().site))
            m_publisher->publish(m.topic, m.payload, m.retained);
    }
    return true;
}

void AlarmDelivery::sendTest(const QString& site)
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->closed)
            return;
        const QByteArray id = QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@tq5900k";
        for (Destination& d : m_shared->destinations) {
            const QByteArray body =
                d.kind == Destination::Kind::Mail
                    ? mailMessage(testMail(site), m_settings.mailFrom, m_settings.mailTo,
                                  QDateTime::currentDateTime(), id)
                    : webhookTestBody(site);
            d.jobs.push_back({body, 0, true});
        }
    }
    m_shared->changed.notify_all();
}

qint64 AlarmDelivery::stop(int flushMs)
{
    flushMs = std::max(flushMs, 0);
    std::unique_lock lock(m_shared->mutex);
    m_shared->closed = true;
    if (m_thread.joinable()) {
        const Clock::time_point flushBy = Clock::now() + milliseconds(flushMs);
        m_shared->stopping = true;
        m_shared->flushBy = flushBy;
        m_shared->changed.notify_all();
        bool ended = m_shared->changed.wait_until(lock, flushBy, [this] { return m_shared->finished; });
        if (!ended) {
            m_shared->cutOff = true; // the attempt running ends at libcurl's next progress call
            ended = m_shared->changed.wait_until(lock, flushBy + milliseconds(kStopGraceMs),
                                                 [this] { return m_shared->finished; });
        }
        lock.unlock();
        if (ended)
            m_thread.join();
        else
            m_thread.detach(); // it ends after libcurl returns, touching only what it shares
        lock.lock();
    }
    qint64 left = 0;
    for (const Destination& d : m_shared->destinations)
        left += d.waitingEvents();
    return left;
}

QList<DestinationStatus> AlarmDelivery::status() const
{
    std::lock_guard lock(m_shared->mutex);
    QList<DestinationStatus> result;
    for (const Destination& d : m_shared->destinations) {
        DestinationStatus s = d.status;
        s.waiting = d.waitingEvents();
        result.append(s);
    }
    return result;
}

} // namespace notify
