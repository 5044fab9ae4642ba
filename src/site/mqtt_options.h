#pragma once
// How a program publishes its readings to an MQTT broker: where the broker is,
// who this reader is on which site, how it logs in, and how many messages may
// wait while the broker is away.

#include <QString>
#include <QSysInfo>

namespace site {

inline constexpr int kDefaultMqttPort = 1883;
// A waiting message costs about 330 bytes (docs/site.md): the default bound is
// about 33 MB and keeps, of a reader reading ten channels of 160 sensors every
// 10 s (1600 messages), about 10 minutes; the largest about 330 MB.
inline constexpr int kDefaultQueueBound = 100000;
inline constexpr int kMaxQueueBound = 1000000;

struct MqttOptions
{
    QString host;
    int port = kDefaultMqttPort;
    QString site = QStringLiteral("site");      // a topic level
    QString name = QSysInfo::machineHostName(); // this reader's name, a topic level, unique on its site
    QString user;                               // none: no login
    QString password;
    QString caFile; // set: TLS, the broker's certificate checked against this CA
    // Messages kept until the broker acknowledges them; beyond it the oldest are dropped.
    int queueBound = kDefaultQueueBound;
    // The wait before the next connection attempt doubles from the first to the last.
    int reconnectFirstMs = 1000;
    int reconnectLastMs = 30000;
    int keepAliveSeconds = 30;
};

// What is wrong with the options, as a sentence naming the option; empty when they can be used.
QString checkMqttOptions(const MqttOptions& options);

} // namespace site
