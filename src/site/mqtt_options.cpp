#include "mqtt_options.h"

#include "mqtt_topics.h"

namespace site {

QString checkMqttOptions(const MqttOptions& o)
{
    if (o.host.isEmpty())
        return QStringLiteral("the broker's host is not given");
    if (o.port < 1 || o.port > 65535)
        return QStringLiteral("the port %1 is not 1..65535").arg(o.port);
    if (const QString problem = checkTopicLevel(o.site); !problem.isEmpty())
        return QStringLiteral("the site %1").arg(problem);
    if (const QString problem = checkTopicLevel(o.name); !problem.isEmpty())
        return QStringLiteral("the reader's name %1").arg(problem);
    if (o.user.isEmpty() && !o.password.isEmpty())
        return QStringLiteral("a password is given without a user");
    if (o.queueBound < 1 || o.queueBound > kMaxQueueBound)
        return QStringLiteral("the queue bound %1 is not 1..%2").arg(o.queueBound).arg(kMaxQueueBound);
    if (o.reconnectFirstMs < 1 || o.reconnectLastMs < o.reconnectFirstMs)
        return QStringLiteral("the reconnect delays %1..%2 ms are no range")
            .arg(o.reconnectFirstMs)
            .arg(o.reconnectLastMs);
    if (o.keepAliveSeconds < 5 || o.keepAliveSeconds > 65535)
        return QStringLiteral("the keep-alive %1 s is not 5..65535").arg(o.keepAliveSeconds);
    return QString();
}

} // namespace site
